// The vimbo command end to end, run as a separate process.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

#ifndef VIMBO_CLI
#error "VIMBO_CLI must name the command under test"
#endif

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

class Command : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    }
    // Runs the command through the shell; each argument is quoted for it.
    Outcome vimbo(const std::vector<std::string>& arguments) {
        std::string command = quote(VIMBO_CLI);
        for (const std::string& argument : arguments) command += " " + quote(argument);
        command += " >out.txt 2>err.txt";
#ifdef _WIN32
        // cmd /c drops the outer pair of quotes and keeps the rest as written.
        command = "\"" + command + "\"";
#endif
        int status = std::system(command.c_str());
#ifndef _WIN32
        if (WIFEXITED(status)) status = WEXITSTATUS(status);
#endif
        return Outcome{status, console(read("out.txt")), console(read("err.txt"))};
    }
    // Standard output is in text mode: on Windows each "\n" arrives as CR LF.
    static std::string console(std::string text) {
#ifdef _WIN32
        std::string::size_type at;
        while ((at = text.find("\r\n")) != std::string::npos) text.erase(at, 1);
#endif
        return text;
    }
    static std::string quote(const std::string& argument) {
#ifdef _WIN32
        return "\"" + argument + "\"";
#else
        return "'" + argument + "'";
#endif
    }
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
    EXPECT_EQ(read("main.c"), "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n");
    EXPECT_EQ(read("main.Bak"), "#include <a.h>\r\n");
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
    Outcome help = vimbo({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: vimbo"), std::string::npos);
    Outcome version = vimbo({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vimbo 1.00\n");
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
    EXPECT_EQ(read("--odd.c"), "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n");
}

}  // namespace
