// Include lines whose header the search path does not reach are findings of
// their own: counted, named, an error under --strict when the header is the
// project's, a rule of their own in the documents.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/engine_run.h"
#include "support/temp_dir.h"

namespace {

using vimbo::test::engineRun;

class UnresolvedIncludes : public vimbo::test::TempDirTest {};

TEST_F(UnresolvedIncludes, CountedNamedAndAnErrorUnderStrict) {
    struct Case {
        const char* source;
        const char* search;
        bool strict;
        int status;
        const char* lines;    // what the observer is told, in order
        const char* summary;  // "" for no summary line of them
    };
    const Case cases[] = {
        // The project's header, in a directory the search misses.
        {"#include <a.h>\n", "src", true, 2, "src/m.c:1:1: error: #include <a.h> not found on the search path\n",
         "vimbo: not found on the search path: 1 project header (an error with --strict)\n"},
        {"#include <a.h>\n", "src", false, 0, "src/m.c:1:1: warning: #include <a.h> not found on the search path\n",
         "vimbo: not found on the search path: 1 project header\n"},
        // Found: nothing of the kind, the line would be wrapped.
        {"#include <a.h>\n", "inc", true, 1, "", ""},
        // Named by its directory below the one the search should have had.
        {"  #include \"sub/b.h\"\n", "src", true, 2,
         "src/m.c:1:3: error: #include \"sub/b.h\" not found on the search path\n", "1 project header"},
        // Nowhere in the project (generated, or of another system): a note.
        {"#include \"gen.h\"\n#include <a.h>\n", "inc", true, 1,
         "src/m.c:1:1: note: #include \"gen.h\" not found on the search path (not in the project)\n",
         "vimbo: not found on the search path: 1 other (none in the project)\n"},
        // Beside its includer: found, whatever the search path.
        {"#include \"near.h\"\n", "nowhere", true, 1, "", ""},
    };
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("inc/sub/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    write("src/near.h", "#ifndef NEAR_H\n#define NEAR_H\n#endif\n");
    for (const Case& c : cases) {
        write("src/m.c", c.source);
        auto run = engineRun({"src"}).include(c.search).check().tree();
        if (c.strict) run.strict();
        const auto o = run.run();
        SCOPED_TRACE(c.source);
        EXPECT_EQ(o.status, c.status) << o.messages;
        EXPECT_EQ(o.unresolved, c.lines);
        if (*c.summary) EXPECT_NE(o.messages.find(c.summary), std::string::npos) << o.messages;
        else EXPECT_EQ(o.messages.find("not found on the search path"), std::string::npos) << o.messages;
    }
}

TEST_F(UnresolvedIncludes, DocumentsCarryThemUnderTheirOwnRule) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("src/m.c", "#include <a.h>\n#include \"gen.h\"\n");
    const auto sarif = engineRun({"src"}).include("src").check().tree().format(vimbo::engine::OutputFormat::sarif).run();
    const auto log = nlohmann::json::parse(sarif.documents);
    const auto& run = log["runs"][0];
    ASSERT_EQ(run["results"].size(), 2u) << sarif.documents;
    EXPECT_EQ(run["tool"]["driver"]["rules"][1]["id"], "unresolved-include");
    EXPECT_EQ(run["results"][0]["ruleIndex"], 1);
    EXPECT_EQ(run["results"][0]["level"], "warning");
    EXPECT_EQ(run["results"][1]["level"], "note");

    const auto json = engineRun({"src"}).include("src").check().tree().format(vimbo::engine::OutputFormat::json).run();
    const auto list = nlohmann::json::parse(json.documents);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["rule"], "unresolved-include");
    EXPECT_EQ(list[0]["header"], "a.h");
}

}  // namespace
