// External guards already in a tree: --audit reports the wrong ones,
// --strip takes them away (all, or only the wrong ones with --strip-wrong).
#include <gtest/gtest.h>

#include <iterator>
#include <map>

#include "analysis/source_scanner.h"
#include "analysis/wrapper_lines.h"
#include "support/command_run.h"
#include "support/engine_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::engine::Strip;
using vimbo::test::asWritten;
using vimbo::test::engineRun;
using vimbo::test::runVimbo;

TEST(GuardWrapperLines, OpeningsClosingsAndNames) {
    using vimbo::analysis::wrapperOpening;
    const std::pair<const char*, const char*> openings[] = {
        {"#ifndef A_H", "A_H"},           {"  #  ifndef  A_H  ", "A_H"},  {"#if !defined(A_H)", "A_H"},
        {"#if ! defined ( A_H )", "A_H"}, {"#if !defined A_H", "A_H"},    {"%:ifndef A_H", "A_H"},
        {"#ifndef A_H extra", ""},        {"#if !defined(A_H) && B", ""}, {"#if !definedA_H", ""},
        {"#if !defined(A_H", ""},         {"#ifdef A_H", ""},             {"#if defined(A_H)", ""},
        {"#ifndef", ""},                  {"#ifndef 1A", ""},             {"ifndef A_H", ""},
    };
    for (const auto& [line, macro] : openings) EXPECT_EQ(wrapperOpening(line), macro) << line;

    for (const char* line : {"#endif", "  # endif  ", "#endif   "}) EXPECT_TRUE(vimbo::analysis::wrapperClosing(line));
    for (const char* line : {"#endif A_H", "#else", "endif"}) EXPECT_FALSE(vimbo::analysis::wrapperClosing(line));

    using vimbo::analysis::macroNamesHeader;
    EXPECT_TRUE(macroNamesHeader("FOO_H", "foo.h"));
    EXPECT_TRUE(macroNamesHeader("_MY_FOO_H_", "sub/foo.h"));
    EXPECT_TRUE(macroNamesHeader("FOO_H_INCLUDED", "foo.h"));
    EXPECT_TRUE(macroNamesHeader("BOOST_CONFIG_HPP", "boost/config.hpp"));
    EXPECT_FALSE(macroNamesHeader("BAR_H", "foo.h"));
    EXPECT_FALSE(macroNamesHeader("FOO_HPP", "foo.h"));
    EXPECT_FALSE(macroNamesHeader("BOOST_NO_STD_LOCALE", "locale")) << "no extension: a feature test";
}

class GuardWrappers : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        // Its first test is no guard: code follows the #endif.
        write("inc/open.h", "#ifndef OPEN_H\n#define OPEN_H\n#endif\nint open_h;\n");
        write("inc/renamed.h", "#ifndef NEW_NAME_H\n#define NEW_NAME_H\n#endif\n");
    }
};

// What vimbo writes is right; what an unchecked tool or a hand writes may
// not be, and only guards tied to their header are judged at all.
const char kPlanted[] =
    "#ifndef A_H\n#include <a.h>\n#endif\n"                         // right
    "#ifndef OPEN_H\n#include <open.h>\n#endif\n"                   // the header's first test, not its guard
    "#if !defined(RENAMED_H)\n#include <renamed.h>\n#endif\n"       // named after the header, guard renamed
    "#ifndef GONE_H\n#include \"gone.h\"\n#endif /* GONE_H */\n"    // named after a header that is not there
    "#ifndef FEATURE_X\n#include <a.h>\n#endif\n"                   // a feature test
    "/*\n#ifndef OPEN_H\n#include <open.h>\n#endif\n*/\n"           // a comment
    "#ifndef RENAMED_H\n#ifndef NEW_NAME_H\n#include <renamed.h>\n#endif\n#endif\n";  // wrong around right

TEST_F(GuardWrappers, AuditReportsExactlyTheWrongOnes) {
    write("src/m.c", kPlanted);
    write("src/clean.c", "#ifndef A_H\n#include <a.h>\n#endif\n");
    auto audit = engineRun({"src"}).audit().include("inc").tree().run();
    EXPECT_EQ(audit.status, 1) << audit.messages;
    EXPECT_EQ(audit.findings,
              "src/m.c:5: #include <open.h> is wrapped in OPEN_H, but open.h has no guard that covers the whole file\n"
              "src/m.c:8: #include <renamed.h> is wrapped in RENAMED_H, but renamed.h is guarded by NEW_NAME_H\n"
              "src/m.c:11: #include \"gone.h\" is wrapped in GONE_H, but gone.h is not found\n"
              "src/m.c:23: #include <renamed.h> is wrapped in RENAMED_H, but renamed.h is guarded by NEW_NAME_H\n");
    EXPECT_EQ(audit.summaries, "vimbo: 2 files examined, 4 wrong external guards in 1 files, 0 skipped, 0 failed\n");
    EXPECT_EQ(audit.messages, "");
    EXPECT_EQ(audit.documents, "");
    EXPECT_EQ(read("src/m.c"), kPlanted) << "an audit writes nothing";

    auto clean = engineRun({"src/clean.c"}).audit().include("inc").run();
    EXPECT_EQ(clean.status, 0) << clean.findings;
    EXPECT_EQ(clean.findings, "");
    auto missing = engineRun({"src/clean.c", "src/none.c"}).audit().include("inc").run();
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.messages, "vimbo: src/none.c: no such file or directory\n");
    EXPECT_EQ(missing.findings, "") << "nothing is read once a path is missing";
    EXPECT_EQ(missing.summaries, "");
}

TEST_F(GuardWrappers, StripTakesAwayAllOrOnlyTheWrongOnes) {
    write("src/m.c", kPlanted);
    // A dry run shows it and changes nothing.
    auto check = engineRun({"src"}).strip(Strip::wrong).check().include("inc").tree().run();
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.shownFiles, std::vector<std::string>{"src/m.c"});
    EXPECT_EQ(read("src/m.c"), kPlanted);

    auto wrong = engineRun({"src/m.c"}).strip(Strip::wrong).backup().include("inc").run();
    EXPECT_EQ(wrong.status, 0) << wrong.messages;
    EXPECT_EQ(read("src/m.Bak"), asWritten(kPlanted));
    const std::string rightOnesLeft =
        "#ifndef A_H\n#include <a.h>\n#endif\n"
        "#include <open.h>\n"
        "#include <renamed.h>\n"
        "#include \"gone.h\"\n"
        "#ifndef FEATURE_X\n#include <a.h>\n#endif\n"
        "/*\n#ifndef OPEN_H\n#include <open.h>\n#endif\n*/\n"
        "#ifndef NEW_NAME_H\n#include <renamed.h>\n#endif\n";
    EXPECT_EQ(read("src/m.c"), asWritten(rightOnesLeft));
    EXPECT_EQ(engineRun({"src/m.c"}).audit().include("inc").run().status, 0) << "nothing wrong is left";

    EXPECT_EQ(engineRun({"src"}).strip().include("inc").tree().run().status, 0);
    std::string stripped = "#include <a.h>\n" + rightOnesLeft.substr(rightOnesLeft.find("#include <open.h>"));
    stripped.replace(stripped.find("#ifndef NEW_NAME_H"), std::string::npos, "#include <renamed.h>\n");
    EXPECT_EQ(read("src/m.c"), asWritten(stripped)) << "feature tests and comments stay";
    EXPECT_EQ(engineRun({"src"}).strip().include("inc").check().tree().run().status, 0) << "nothing left to take away";
}

#ifndef _WIN32
// Where every byte is kept, the guards vimbo adds come away to the byte,
// whatever the line endings and however the file ends.
TEST_F(GuardWrappers, TreeThenStripGivesBackTheBytes) {
    const std::map<std::string, std::string> files = {
        {"src/lf.c", "#include <a.h>\nint x;\n"},
        {"src/crlf.c", "int x;\r\n#include <a.h>\r\n#include <open.h>\r\n"},
        {"src/mixed.h", "#include <a.h>\r\n#include \"../inc/renamed.h\"\n"},
        {"src/last.c", "int x;\r\n#include <a.h>"},
        {"src/only.c", "#include <a.h>"},
        {"src/bom.c", "\xEF\xBB\xBF#include <a.h>\n#include <a.h>\n"},
    };
    for (const auto& [name, bytes] : files) write(name, bytes);
    auto tree = engineRun({"src"}).include("inc").tree().run();
    EXPECT_NE(tree.summaries.find("6 files examined, 6 rewritten"), std::string::npos) << tree.summaries;
    EXPECT_EQ(engineRun({"src"}).audit().include("inc").tree().run().status, 0) << "vimbo's own guards are right";
    auto strip = engineRun({"src"}).strip().include("inc").tree().run();
    EXPECT_EQ(strip.status, 0) << strip.messages;
    for (const auto& [name, bytes] : files) EXPECT_EQ(read(name), bytes) << name;
}
#endif

// Batch runs wrap every spelling of an include that the compiler reads; the
// wrappers around each are known again, to be judged and taken away.
TEST_F(GuardWrappers, EverySpellingWrappedIsKnownAgain) {
    const std::pair<const char*, const char*> spellings[] = {  // the line, the header as it names it
        {"#include <a.h>", "a.h"},
        {"# include <a.h>", "a.h"},
        {"#  include <a.h>", "a.h"},
        {"#\tinclude\t<a.h>", "a.h"},
        {" \t# \t include <a.h>", "a.h"},
        {"%:include <a.h>", "a.h"},
        {"%: include \"a.h\"", "a.h"},
        {"#/* c */include/* c */<a.h>", "a.h"},
        {"/* c */ #include <a.h>", "a.h"},
        {"#include <a.h> /* c */", "a.h"},
        {"#include <a.h> // c", "a.h"},
        {"#include\f<a.h>", "a.h"},
        {"#include<a.h>", "a.h"},
        {"# include \"../inc/a.h\"", "../inc/a.h"},
    };
    const auto file = [](std::size_t i) { return "src/s" + std::to_string(i) + ".c"; };
    const std::string count = std::to_string(std::size(spellings));
    const auto summary = [&](const std::string& wrong) {
        return "vimbo: " + count + " files examined, " + wrong + " wrong external guards in " + wrong +
               " files, 0 skipped, 0 failed\n";
    };
    for (std::size_t i = 0; i < std::size(spellings); ++i)
        write(file(i), std::string("int x;\n") + spellings[i].first + "\n");
    auto tree = engineRun({"src"}).include("inc").tree().run();
    EXPECT_NE(tree.summaries.find(count + " files examined, " + count + " rewritten"), std::string::npos)
        << tree.summaries;
    auto right = engineRun({"src"}).audit().include("inc").tree().run();
    EXPECT_EQ(right.status, 0) << right.findings;
    EXPECT_EQ(right.summaries, summary("0"));
    EXPECT_EQ(right.messages, "");
    EXPECT_EQ(engineRun({"src"}).strip().include("inc").tree().run().status, 0);
    for (std::size_t i = 0; i < std::size(spellings); ++i)
        EXPECT_EQ(read(file(i)), asWritten(std::string("int x;\n") + spellings[i].first + "\n")) << spellings[i].first;

    for (std::size_t i = 0; i < std::size(spellings); ++i)
        write(file(i), std::string("#ifndef OLD_A_H\n") + spellings[i].first + "\n#endif\n");
    auto wrong = engineRun({"src"}).audit().include("inc").tree().run();
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.summaries, summary(count));
    EXPECT_EQ(wrong.messages, "");
    for (std::size_t i = 0; i < std::size(spellings); ++i) {
        const std::string report = file(i) + ":2: " + std::string(vimbo::analysis::trimBlanks(spellings[i].first)) +
                                   " is wrapped in OLD_A_H, but " + spellings[i].second + " is guarded by A_H\n";
        EXPECT_NE(wrong.findings.find(report), std::string::npos) << report << wrong.findings;
    }
    EXPECT_EQ(engineRun({"src"}).strip(Strip::wrong).include("inc").tree().run().status, 0);
    for (std::size_t i = 0; i < std::size(spellings); ++i)
        EXPECT_EQ(read(file(i)), asWritten(std::string(spellings[i].first) + "\n")) << spellings[i].first;
}

TEST_F(GuardWrappers, OptionsThatDoNotGoTogether) {
    write("src/m.c", kPlanted);
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--audit", "--check", "src/m.c"}, "--audit changes nothing; it goes without --check, --diff and --strip"},
        {{"--audit", "--strip", "src/m.c"}, "--audit changes nothing; it goes without --check, --diff and --strip"},
        {{"--strip", "--strip-wrong", "src/m.c"}, "--strip and --strip-wrong exclude each other"},
        {{"--strip", "-t", "#include <a.h>"}, "--tree, --check, --diff, --audit and --strip take files, not -t"},
    };
    for (const auto& [arguments, message] : refused) {
        auto run = runVimbo(arguments);
        EXPECT_EQ(run.status, 2) << message;
        EXPECT_EQ(run.err, std::string("vimbo: ") + message + " (try --help)\n");
    }
    EXPECT_EQ(read("src/m.c"), kPlanted);
}

}  // namespace
