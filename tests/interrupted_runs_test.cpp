// Runs cut short: a signal, or a reader of standard output that goes away,
// ends a batch run or a verification with 128 + the signal, every file
// either rewritten whole or as it was, and nothing of the run left behind.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::CommandOutcome;

class InterruptedRun : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        // The run's temporary directories go where the test can see them
        // (not inside the tree, which a dry run copies).
        temporary_ = root().string() + "-tmp";
        fs::create_directories(temporary_);
        tmpdir_ = std::make_unique<vimbo::test::ScopedEnv>("TMPDIR", temporary_.c_str());
    }
    void TearDown() override {
        tmpdir_.reset();
        std::error_code ignored;
        fs::remove_all(temporary_, ignored);
        TempDirTest::TearDown();
    }

    // 800 files of 80 includes each, in 20 directories.
    void writeBigTree() {
        for (int h = 0; h < 80; ++h) {
            const std::string name = "h" + std::to_string(h);
            write("inc/" + name + ".h", "#ifndef G" + name + "\n#define G" + name + "\n#endif\n");
            original_ += "#include <" + name + ".h>\n";
            guarded_ += "#ifndef G" + name + "\n#include <" + name + ".h>\n#endif\n";
        }
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 40; ++f) write("big/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c", original_);
    }

    // Each file of the big tree as it was or wholly rewritten (its .Bak the
    // old text, where one was asked for); how many were rewritten.
    std::size_t wholeFiles(bool backups) {
        std::size_t rewritten = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root() / "big")) {
            if (entry.path().extension() != ".c") continue;
            const std::string text = vimbo::test::readFile(entry.path());
            EXPECT_TRUE(text == original_ || text == guarded_) << entry.path();
            if (text != guarded_) continue;
            ++rewritten;
            if (backups) {
                EXPECT_EQ(vimbo::test::readFile(fs::path(entry.path()).replace_extension(".Bak")), original_);
            }
        }
        return rewritten;
    }

    // No scratch file, backup in the making or kept original anywhere in
    // the tree, and nothing in the temporary directory.
    void expectNothingLeft() {
        for (const auto& entry : fs::recursive_directory_iterator(root())) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name.rfind("$vb$tmp$.", 0), 0u) << entry.path();
            EXPECT_NE(name.rfind("$vb$bak$.", 0), 0u) << entry.path();
            EXPECT_NE(name.rfind(".vimbo-verify-", 0), 0u) << entry.path();
        }
        EXPECT_TRUE(fs::is_empty(temporary_)) << fs::directory_iterator(temporary_)->path();
    }

    // A build of one unit, src/main.c, whose compiler is `compiler`.
    void writeBuild(const std::string& compiler, const std::string& source = "src/main.c") {
        write("build/compile_commands.json", "[{\"directory\": \"" + root().string() + "\", \"file\": \"" + source +
                                                 "\",\n  \"command\": \"" + compiler + " -Iinclude -Iinc -c " +
                                                 source + "\"}]");
    }

    // A compiler that notes each run in log.txt and takes its time, so
    // that a signal finds the verification preprocessing.
    std::string slowCompiler() {
        EXPECT_EQ(std::system("command -v cc > real-cc.txt"), 0);
        std::string real = read("real-cc.txt");
        while (!real.empty() && real.back() == '\n') real.pop_back();
        write("bin/cc", "#!/bin/sh\necho run >> '" + (root() / "log.txt").string() + "'\nsleep 0.5\nexec '" + real +
                            "' \"$@\"\n");
        EXPECT_EQ(::chmod("bin/cc", 0755), 0);
        return (root() / "bin/cc").string();
    }

    std::size_t compilerRuns() const {
        const std::string log = read("log.txt");
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    std::string original_, guarded_;

private:
    std::string temporary_;
    std::unique_ptr<vimbo::test::ScopedEnv> tmpdir_;
};

struct SignalCase {
    int signal;
    bool group;  // to every process of the run's group (Ctrl-C, a hangup), or to vimbo alone
};

const SignalCase kSignals[] = {{SIGINT, true}, {SIGTERM, false}, {SIGHUP, true}};

// The signal comes once the first file is rewritten (its .Bak shows).
TEST_F(InterruptedRun, ASignalEndsATreeRunWithItsNumber) {
    writeBigTree();
    for (const SignalCase& c : kSignals) {
        SCOPED_TRACE(strsignal(c.signal));
        const CommandOutcome run = vimbo::test::runVimboSignalled(
            {"-j", "2", "-b", "-i", "inc", "--tree", "big"}, c.signal, [&] { return exists("big/d0/f0.Bak"); },
            c.group);
        if (!run.sent) GTEST_SKIP() << "the run ended before the signal";
        EXPECT_EQ(run.status, 128 + c.signal) << run.err;
        EXPECT_EQ(run.out.rfind("vimbo: interrupted: ", 0), 0u) << run.out;
        const std::size_t rewritten = wholeFiles(true);
        EXPECT_GT(rewritten, 0u);
        EXPECT_LT(rewritten, 800u);
        expectNothingLeft();
        // The next case starts from the old tree.
        for (const auto& entry : fs::recursive_directory_iterator(root() / "big"))
            if (entry.path().extension() == ".c") vimbo::test::writeFile(entry.path(), original_);
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 40; ++f) fs::remove(root() / ("big/d" + std::to_string(d) + "/f" + std::to_string(f) + ".Bak"));
    }
}

// The compiler is at work before the rewrite (its first run tells its
// search list, its second preprocesses) or after it (its third) when the
// signal comes: nothing is changed, or everything is put back.
TEST_F(InterruptedRun, ASignalEndsAVerificationWithItsNumber) {
    if (std::system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    write("include/a.h", "#ifndef A_H\n#define A_H\nint a(void);\n#endif\n");
    const std::string main = "#include \"a.h\"\nint main(void) { return a(); }\n";
    write("src/main.c", main);
    writeBuild(slowCompiler());
    struct Case {
        SignalCase signal;
        std::size_t runs;  // the compiler's runs begun when the signal comes
        const char* message;
    };
    const Case cases[] = {
        {{SIGTERM, false}, 1, "vimbo: interrupted before the rewrite; nothing was changed\n"},
        {{SIGINT, true}, 2, "vimbo: interrupted before the rewrite; nothing was changed\n"},
        {{SIGHUP, true}, 3, "vimbo: interrupted; every rewritten file is put back as it was\n"},
        {{SIGTERM, false}, 3, "vimbo: interrupted; every rewritten file is put back as it was\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal.signal)) + " in run " + std::to_string(c.runs));
        fs::remove("log.txt");
        const CommandOutcome run = vimbo::test::runVimboSignalled(
            {"-p", "build", "--verify", "-j", "1", "--tree", "src", "include"}, c.signal.signal,
            [&] { return compilerRuns() >= c.runs; }, c.signal.group);
        ASSERT_TRUE(run.sent) << run.err;
        EXPECT_EQ(run.status, 128 + c.signal.signal) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(read("src/main.c"), main);
        expectNothingLeft();
    }
}

// Standard output on a full disk: the files are whole, and the run does
// not end as a success whose report nobody got.
TEST_F(InterruptedRun, AFullStandardOutputIsNoSuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    writeBigTree();
    const std::string command = std::string("'") + VIMBO_CLI + "' --verbose -j 2 -i inc --tree big >/dev/full 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string err = read("err.txt");
    EXPECT_NE(err.find("vimbo: can't write to standard output; what it shows is incomplete\n"), std::string::npos)
        << err;
    wholeFiles(false);
    expectNothingLeft();
}

// `vimbo --verbose --tree big | head -1`: the reader is gone after one
// line, and the run ends as for SIGPIPE, its summary on standard error.
TEST_F(InterruptedRun, AClosedOutputEndsTheRunAsSigpipe) {
    writeBigTree();
    const CommandOutcome run = vimbo::test::runVimboIntoClosingPipe({"--verbose", "-j", "2", "-i", "inc", "--tree", "big"});
    EXPECT_EQ(run.signal, 0) << "not killed by the signal";
    EXPECT_EQ(run.status, 128 + SIGPIPE) << run.err;
    EXPECT_EQ(run.out.rfind("big/d", 0), 0u) << run.out;
    EXPECT_NE(run.err.find("vimbo: interrupted: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" files examined, "), std::string::npos) << run.err;
    EXPECT_LT(wholeFiles(false), 800u);
    expectNothingLeft();

    // During a verification the rewrite is put back as after any signal.
    if (std::system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    for (const auto& entry : fs::recursive_directory_iterator(root() / "big"))
        if (entry.path().extension() == ".c") vimbo::test::writeFile(entry.path(), original_);
    writeBuild("cc", "big/d0/f0.c");
    const CommandOutcome verified =
        vimbo::test::runVimboIntoClosingPipe({"-p", "build", "--verify", "--verbose", "-j", "2", "--tree", "big"});
    EXPECT_EQ(verified.signal, 0);
    EXPECT_EQ(verified.status, 128 + SIGPIPE) << verified.err;
    EXPECT_NE(verified.err.find("vimbo: interrupted; every rewritten file is put back as it was\n"), std::string::npos)
        << verified.err;
    EXPECT_EQ(wholeFiles(false), 0u);
    expectNothingLeft();

    // A dry run rewrote nothing, and says so.
    const CommandOutcome shown =
        vimbo::test::runVimboIntoClosingPipe({"-p", "build", "--verify", "--diff", "-j", "2", "--tree", "big"});
    EXPECT_EQ(shown.status, 128 + SIGPIPE) << shown.err;
    EXPECT_NE(shown.err.find("vimbo: interrupted; nothing was changed\n"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.find("put back"), std::string::npos) << shown.err;
    EXPECT_EQ(wholeFiles(false), 0u);
    expectNothingLeft();
}

}  // namespace
#endif
