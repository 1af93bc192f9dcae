// --verify: the build's own units preprocessed before and after a rewrite;
// a rewrite that changes one is undone to the byte.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "compile_database.h"
#include "preprocess_command.h"
#include "support/command_run.h"
#include "support/temp_dir.h"
#include "verified_run.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::runVimbo;

TEST(PreprocessCommand, CompileCommandsBecomePreprocessOnly) {
    const std::vector<std::string> fixed = {"-Wno-builtin-macro-redefined", "-D__LINE__=0", "-D__DATE__=\"Jan 1 2000\"",
                                            "-D__TIME__=\"00:00:00\"", "-D__TIMESTAMP__=\"Sat Jan 1 00:00:00 2000\""};
    const auto gnu = [&](std::vector<std::string> rest) {
        std::vector<std::string> words = {rest[0], "-E", "-P"};
        words.insert(words.end(), fixed.begin(), fixed.end());
        words.insert(words.end(), rest.begin() + 1, rest.end());
        words.push_back("-Wno-error");
        return words;
    };
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"/usr/bin/gcc", "-Werror", "-Iinc", "-c", "a.c", "-o", "a.o"}, gnu({"/usr/bin/gcc", "-Werror", "-Iinc", "a.c"})},
        {{"x86_64-linux-gnu-g++-12", "-MD", "-MF", "a.d", "-MT", "a.o", "-oa.o", "-c", "a.cpp"},
         gnu({"x86_64-linux-gnu-g++-12", "a.cpp"})},
        {{"clang++-14", "-std=c++17", "-DX=1", "-c", "a.cc"}, gnu({"clang++-14", "-std=c++17", "-DX=1", "a.cc"})},
        {{"cc", "-MMD", "-MQ", "x", "a.c"}, gnu({"cc", "a.c"})},
        {{"CL.EXE", "/nologo", "/c", "/Foa.obj", "/Ifoo", "a.c"}, {"CL.EXE", "/EP", "/nologo", "/Ifoo", "a.c"}},
    };
    for (const auto& [given, expected] : cases) {
        std::vector<std::string> command;
        std::string error;
        EXPECT_TRUE(vimbo::cli::preprocessCommand(given, command, error)) << given[0];
        EXPECT_EQ(command, expected) << given[0];
    }
    std::vector<std::string> command;
    std::string error;
    EXPECT_FALSE(vimbo::cli::preprocessCommand({"frobcc", "a.c"}, command, error));
    EXPECT_EQ(error, "can't tell how to preprocess with frobcc");
}

class Verify : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (std::system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
        write("include/a.h", "#ifndef A_H\n#define A_H\nint a(void);\n#endif\n");
        write("include/b.h", "#ifndef B_H\n#define B_H\n#include \"a.h\"\nint b(void);\n#endif\n");
        write("src/main.c", "#include \"a.h\"\n#include \"b.h\"\nint main(void) { return a() + b() + __LINE__; }\n");
        write("src/other.c", "#include <b.h>\nint a(void) { return 0; }\nint b(void) { return 0; }\n");
    }
    // A build's database, as CMake writes one, with relative directories
    // and a response file.
    void writeDatabase(const std::string& extra = "") {
        const std::string dir = root().string();
        write("build/flags.rsp", "-Iinclude\n");
        write("build/compile_commands.json",
              "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\",\n"
              "  \"command\": \"cc -Iinclude -c src/main.c -o build/main.o\"},\n"
              " {\"directory\": \"" + dir + "\", \"file\": \"src/other.c\",\n"
              "  \"arguments\": [\"cc\", \"@build/flags.rsp\", \"-c\", \"src/other.c\", \"-o\", \"build/other.o\"]}" +
                  extra + "]");
    }
    bool noVerifyLeftovers() const {
        for (const auto& entry : fs::recursive_directory_iterator(root()))
            if (entry.path().filename().string().rfind(".vimbo-verify-", 0) == 0) return false;
        return true;
    }
};

TEST_F(Verify, ASoundRewriteIsKept) {
    writeDatabase();
    auto run = runVimbo({"-p", "build", "--verify", "--tree", "src", "include"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("vimbo: verified 2 translation units: unchanged ("), std::string::npos) << run.out;
    EXPECT_EQ(read("src/main.c").rfind("#ifndef A_H\n#include \"a.h\"\n#endif\n", 0), 0u);
    EXPECT_TRUE(noVerifyLeftovers());

    // A dry run verifies through a copy and leaves the tree alone.
    write("src/third.c", "#include <a.h>\nint third;\n");
    auto dry = runVimbo({"-p", "build", "--verify", "--check", "--tree", "src"});
    EXPECT_EQ(dry.status, 1) << dry.err;
    EXPECT_NE(dry.err.find("vimbo: verified 2 translation units: unchanged"), std::string::npos) << dry.err;
    EXPECT_EQ(read("src/third.c"), "#include <a.h>\nint third;\n");

    auto alone = runVimbo({"--verify", "--tree", "src"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_EQ(alone.err, "vimbo: --verify needs -p DIR, the build whose units it checks (try --help)\n");
}

// The rewriting step replaced at its seam by one that changes what a unit
// compiles: every file it touched comes back, bytes, time and mode.
TEST_F(Verify, AChangedUnitPutsEveryFileBack) {
    writeDatabase();
    ASSERT_EQ(::chmod("include/b.h", 0640), 0);
    vimbo::cli::CompileDatabase database;
    std::string error;
    ASSERT_TRUE(database.load("build", error)) << error;
    const std::vector<std::string> files = {"include/a.h", "include/b.h", "src/main.c", "src/other.c"};
    std::map<std::string, std::pair<std::string, fs::file_time_type>> before;
    for (const std::string& file : files) before[file] = {read(file), fs::last_write_time(file)};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a new time stamp would show

    vimbo::cli::VerifySettings settings;
    settings.database = &database;
    settings.jobs = 2;
    settings.files = files;
    const auto replace = [](const std::string& file, const std::string& text) {
        vimbo::test::writeFile(file + ".new", text);
        fs::rename(file + ".new", file);
    };
    testing::internal::CaptureStderr();
    const int status = vimbo::cli::runVerified(settings, [&](vimbo::cli::DryRunTexts*) {
        replace("src/main.c", "#ifndef A_H\n#include \"a.h\"\n#endif\n" + before["src/main.c"].first.substr(15));
        replace("include/b.h", "#ifndef B_H\n#define B_H\n#include \"a.h\"\nint b(long);\n#endif\n");
        return 0;
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("src/main.c: differs after the rewrite\n  before: int b(void);\n  after:  int b(long);\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("verification failed: 2 of 2 translation units differ; every rewritten file is put back"),
              std::string::npos)
        << err;
    for (const std::string& file : files) {
        EXPECT_EQ(read(file), before[file].first) << file;
        EXPECT_EQ(fs::last_write_time(file), before[file].second) << file;
    }
    EXPECT_EQ(fs::status("include/b.h").permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                            fs::perms::group_read);
    EXPECT_TRUE(noVerifyLeftovers());

    // A dry run that would change a unit says so and writes nothing.
    settings.dryRun = true;
    testing::internal::CaptureStderr();
    const int dry = vimbo::cli::runVerified(settings, [&](vimbo::cli::DryRunTexts* texts) {
        texts->emplace_back("include/a.h", "#ifndef A_H\n#define A_H\nint a(int);\n#endif\n");
        return 1;
    });
    const std::string dryErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dry, 2) << dryErr;
    EXPECT_NE(dryErr.find("  before: int a(void);\n  after:  int a(int);\n"), std::string::npos) << dryErr;
    EXPECT_NE(dryErr.find("2 of 2 translation units would differ"), std::string::npos) << dryErr;
    EXPECT_EQ(read("include/a.h"), before["include/a.h"].first);
}

TEST_F(Verify, UnitsThatCannotBeCheckedAreNamedAndNotCounted) {
    const std::string dir = root().string();
    write("src/broken.c", "#error not today\n");
    writeDatabase(",\n {\"directory\": \"" + dir + "\", \"file\": \"src/x.c\", \"command\": \"frobcc -c src/x.c\"}" +
                  ",\n {\"directory\": \"" + dir + "\", \"file\": \"src/y.c\", \"arguments\": [\"cc\", \"@none.rsp\"]}" +
                  ",\n {\"directory\": \"" + dir + "\", \"file\": \"src/broken.c\", \"command\": \"cc -c src/broken.c\"}");
    auto run = runVimbo({"-p", "build", "--verify", "--tree", "src", "include"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("vimbo: " + dir + "/src/x.c: not verified: can't tell how to preprocess with frobcc\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("src/y.c: not verified: can't read the response file " + dir + "/none.rsp\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("src/broken.c: not verified: it fails to preprocess before the rewrite ("), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("vimbo: verified 2 translation units: unchanged"), std::string::npos) << run.out;
}

}  // namespace
#endif
