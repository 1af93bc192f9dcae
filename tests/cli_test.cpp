// The vimbo command end to end, run as a separate process.
#include <gtest/gtest.h>

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
    EXPECT_EQ(version.out, "vimbo " VIMBO_VERSION_TEXT "\n");
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
