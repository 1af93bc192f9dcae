// The vimbo command end to end, run as a separate process.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/command_run.h"
#include "vimbo/version.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::test::asWritten;

using Outcome = vimbo::test::CommandOutcome;

class Command : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    }
    Outcome vimbo(const std::vector<std::string>& arguments) { return vimbo::test::runVimbo(arguments); }
};

TEST_F(Command, LineModePrintsSummaryAndResult) {
    Outcome o = vimbo({"-i", "inc", "-t", "#include", "<a.h>"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out,
              "Korvane\n  Include...... inc\n  Create .bak.. no\n  Input........ #include <a.h>\n"
              "  Output....... stdout\n\n#ifndef A_H\n#include <a.h>\n#endif\n");
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(vimbo({"--quiet", "-i", "inc", "-t", "#include", "<a.h>"}).out, "#ifndef A_H\n#include <a.h>\n#endif\n");
}

TEST_F(Command, FileModeRewritesAndKeepsABackup) {
    write("main.c", "#include <a.h>\n");
    Outcome o = vimbo({"--quiet", "-b", "-i", "inc", "main.c"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read("main.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n"));
    EXPECT_EQ(read("main.Bak"), asWritten("#include <a.h>\n"));
    // Nothing left to guard is success too.
    EXPECT_EQ(vimbo({"--quiet", "-i", "inc", "main.c"}).status, 0);
}

TEST_F(Command, FailuresGiveANonZeroStatus) {
    Outcome missing = vimbo({"--quiet", "missing.c"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Error: can't open input file.\n");
    write("main.c", "#include <a.h>\n");
    Outcome noOutput = vimbo({"--quiet", "-i", "inc", "main.c", "absent.c"});
    EXPECT_EQ(noOutput.status, 1);
    EXPECT_EQ(noOutput.out, "Error: Can't remove output file.\n");
}

TEST_F(Command, HelpVersionAndUnknownOptions) {
    for (const char* asked : {"--help", "-h"}) {
        Outcome help = vimbo({asked});
        EXPECT_EQ(help.status, 0) << asked;
        EXPECT_EQ(help.out.rfind("Usage: vimbo", 0), 0u) << asked;
    }
    // Nothing to do is a usage error: the usage, on standard error.
    Outcome nothing = vimbo({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, vimbo({"--help"}).out);
    Outcome version = vimbo({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vimbo " VIMBO_VERSION "\n");
    Outcome unknown = vimbo({"--frobnicate", "main.c"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "vimbo: unknown option '--frobnicate' (try --help)\n");
    EXPECT_FALSE(exists("--frobnicate"));
}

TEST_F(Command, DoubleDashEndsTheLongOptions) {
    write("--odd.c", "#include <a.h>\n");
    Outcome o = vimbo({"--quiet", "--", "-i", "inc", "--odd.c"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(read("--odd.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n"));
}

}  // namespace

namespace {

// A typo must never turn an option into a tree to rewrite: every batch mode
// refuses the word before any file is read.
TEST_F(Command, MistypedOptionsInBatchModesChangeNothing) {
    write("src/a.c", "#include <a.h>\n");
    const std::vector<std::vector<std::string>> commands = {
        {"-i", "inc", "-check", "--tree", "src"}, {"-i", "inc", "--tree", "-n", "src"},
        {"-i", "inc", "--diff", "src/a.c", "-x"}, {"--audit", "-i", "inc", "-tree", "src"},
        {"-p", "build", "-verify", "--tree", "src"},
    };
    for (const auto& command : commands) {
        Outcome o = vimbo(command);
        EXPECT_EQ(o.status, 2) << command[3];
        EXPECT_EQ(o.err.rfind("vimbo: unknown option '-", 0), 0u) << o.err;
        EXPECT_NE(o.err.find("; did you mean --"), std::string::npos) << o.err;
        EXPECT_EQ(read("src/a.c"), "#include <a.h>\n");
    }
    EXPECT_EQ(vimbo({"-i", "inc", "-check", "--tree", "src"}).err,
              "vimbo: unknown option '-check'; did you mean --check? (try --help)\n");
    // A named path that is not there stops the run before anything is written.
    Outcome missing = vimbo({"-i", "inc", "--tree", "src", "nowhere"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vimbo: nowhere: no such file or directory\n");
    EXPECT_EQ(read("src/a.c"), "#include <a.h>\n");
    // After "--" a word is a name, whatever it looks like.
    write("-odd.c", "#include <a.h>\n");
    EXPECT_EQ(vimbo({"-i", "inc", "--check", "--", "-odd.c"}).status, 1);
}

// Single-file mode reads "-x" as a file name, as the library does; a hint
// says which option it may have been.
TEST_F(Command, SingleFileModeHintsAtMistypedOptions) {
    write("src/a.c", "#include <a.h>\n");
    Outcome o = vimbo({"--quiet", "-i", "inc", "-n", "src/a.c"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "Error: can't open input file.\n");
    EXPECT_EQ(o.err, "vimbo: -n is taken as a file name; did you mean --check? (try --help)\n");
    EXPECT_EQ(read("src/a.c"), "#include <a.h>\n");
    Outcome directory = vimbo({"--quiet", "-i", "inc", "src"});
    EXPECT_EQ(directory.out, "Error: can't open input file.\n");
    EXPECT_EQ(directory.err, "vimbo: src is a directory; --tree rewrites the files under it\n");
}

// What the command says is what is so, and says what to do.
TEST_F(Command, MessagesSayWhatToDo) {
    write("src/a.c", "#include <a.h>\n");
    Outcome directory = vimbo({"-i", "inc", "--check", "src"});
    EXPECT_EQ(directory.status, 2);
    EXPECT_EQ(directory.err, "vimbo: src: is a directory; add --tree to take the files under it\n");

    // Without a compiler to ask, nothing but the search path is searched.
    Outcome noPath = vimbo({"--compiler", "no-such-cc", "--check", "--tree", "src"});
    EXPECT_EQ(noPath.status, 0);
    EXPECT_NE(noPath.err.find("vimbo: warning: no include search path (-i, -p, INCLUDE or .vimbo.toml)"), std::string::npos)
        << noPath.err;
    EXPECT_EQ(vimbo({"--compiler", "no-such-cc", "--strict", "--check", "--tree", "src"}).status, 2);

    // -p takes the database itself, or finds it in a directory above.
    write("build/compile_commands.json", "[]");
    write("build/sub/x.txt", "");
    EXPECT_EQ(vimbo({"-p", "build/compile_commands.json", "-i", "inc", "--check", "--tree", "src"}).status, 1);
    Outcome above = vimbo({"-p", "build/sub", "-i", "inc", "--check", "--tree", "src"});
    EXPECT_EQ(above.status, 1) << above.err;
    EXPECT_NE(above.err.find("vimbo: -p build/sub: taking "), std::string::npos) << above.err;
}

}  // namespace

// Tools that asked for a document get one however the run ends: a log that
// says whether it succeeded, and why not.
TEST_F(Command, EveryRunGivesTheDocumentAskedFor) {
    write("a.c", "int a;\n");
    const struct {
        std::vector<std::string> arguments;
        int status;
        bool successful;
        const char* error;  // in the log's notifications; "" for none
    } cases[] = {
        {{"--check", "--format", "sarif", "a.c"}, 0, true, ""},
        {{"--check", "--format", "sarif", "--bogus", "a.c"}, 2, false, "unknown option '--bogus'"},
        {{"--check", "--format", "sarif", "--tree", "gone"}, 2, false, "gone: no such file or directory"},
        {{"--check", "--format", "sarif", "--files-from", "gone.txt"}, 2, false, "gone.txt: can't read the file list"},
        {{"--verbose", "--format", "sarif", "a.c"}, 2, false, "--verbose goes with"},
    };
    for (const auto& c : cases) {
        const auto o = vimbo(c.arguments);
        SCOPED_TRACE(c.arguments[3]);
        EXPECT_EQ(o.status, c.status) << o.err;
        ASSERT_TRUE(nlohmann::json::accept(o.out)) << o.out;
        const auto invocation = nlohmann::json::parse(o.out)["runs"][0]["invocations"][0];
        EXPECT_EQ(invocation.value("executionSuccessful", !c.successful), c.successful);
        if (*c.error) {
            const std::string told = invocation["toolExecutionNotifications"][0]["message"].value("text", "");
            EXPECT_NE(told.find(c.error), std::string::npos) << o.out;
        }
    }
    EXPECT_EQ(vimbo({"--check", "--format", "json", "--tree", "gone"}).out, "[]\n");
}
