// --verify: the build's own units preprocessed before and after a rewrite;
// a rewrite that changes one is undone to the byte.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "project/compile_database.h"
#include "project/preprocess_command.h"
#include "support/command_run.h"
#include "support/recording_observer.h"
#include "support/temp_dir.h"
#include "batch/unit_reads.h"
#include "batch/verified_run.h"
#include "vimbo/engine/paths.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::runVimbo;

TEST(PreprocessCommand, CompileCommandsBecomePreprocessOnly) {
    const std::vector<std::string> fixed = {"-Wno-builtin-macro-redefined", "-D__DATE__=\"Jan 1 2000\"",
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
        // The kernel's build hands the preprocessor its dependency file; /FI is part of the unit.
        {{"gcc", "-Wp,-MMD,.a.o.d", "-Wp,-DQ", "-c", "a.c"}, gnu({"gcc", "-Wp,-DQ", "a.c"})},
        {{"cl", "/FIforced.h", "/FI", "more.h", "/Fia.i", "a.c"}, {"cl", "/EP", "/FIforced.h", "/FI", "more.h", "a.c"}},
        {{"CL.EXE", "/nologo", "/c", "/Foa.obj", "/Ifoo", "a.c"}, {"CL.EXE", "/EP", "/nologo", "/Ifoo", "a.c"}},
        // Launchers run the compiler that follows them.
        {{"/usr/bin/ccache", "gcc", "-c", "a.c"}, gnu({"gcc", "a.c"})},
        {{"sccache", "distcc", "clang++", "-c", "a.cc"}, gnu({"clang++", "a.cc"})},
        {{"icecc", "cc", "a.c"}, gnu({"cc", "a.c"})},
    };
    for (const auto& [given, expected] : cases) {
        std::vector<std::string> command;
        std::string error;
        EXPECT_TRUE(vimbo::project::preprocessCommand(given, command, error)) << given[0];
        EXPECT_EQ(command, expected) << given[0];
    }
    std::vector<std::string> command;
    std::string error;
    ASSERT_TRUE(vimbo::project::preprocessCommand({"gcc", "a.c"}, command, error, true));
    EXPECT_EQ(command[4], "-D__LINE__=0") << "the line fixed too, to tell moved lines";
    // The files a unit reads are listed ahead of the entry's own words.
    using vimbo::project::DependencyOutput;
    std::vector<std::string> listing = gnu({"gcc", "a.c"});
    EXPECT_EQ(vimbo::project::addDependencyOutput(listing, "/t/0.d"), DependencyOutput::makeRule);
    EXPECT_EQ(std::vector<std::string>(listing.begin(), listing.begin() + 8),
              (std::vector<std::string>{"gcc", "-E", "-P", "-MD", "-MF", "/t/0.d", "-MT", "vimbo"}));
    std::vector<std::string> notes = {"clang-cl.exe", "/EP", "/Ifoo", "a.c"};
    EXPECT_EQ(vimbo::project::addDependencyOutput(notes, "/t/0.d"), DependencyOutput::includeNotes);
    EXPECT_EQ(notes, (std::vector<std::string>{"clang-cl.exe", "/EP", "/showIncludes", "/Ifoo", "a.c"}));
    for (const auto& [given, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"frobcc", "a.c"}, "frobcc"}, {{"ccache", "-c", "a.c"}, "ccache -c"}, {{"ccache"}, "ccache"}}) {
        EXPECT_FALSE(vimbo::project::preprocessCommand(given, command, error)) << message;
        EXPECT_EQ(error, "can't tell how to preprocess with " + message);
    }
}

// What gcc and clang write for -MD -MF, and what cl prints for
// /showIncludes, read back as the files named.
TEST(UnitReads, DependencyOutputNamesTheFilesRead) {
    using Files = std::vector<std::string>;
    const std::pair<std::string, Files> rules[] = {
        {"vimbo: m.c /usr/include/stdc-predef.h a\\ h.h b\\#.h\n", {"m.c", "/usr/include/stdc-predef.h", "a h.h", "b#.h"}},
        {"vimbo: a.c \\\n  inc/a.h \\\r\n inc/b.h\n", {"a.c", "inc/a.h", "inc/b.h"}},
        {"vimbo: $$x.h\n", {"$x.h"}},
        {"vimbo: C:\\src\\a.c C:\\inc\\a.h\n", {"C:\\src\\a.c", "C:\\inc\\a.h"}},
        // Backslashes in front of a blank are doubled, an odd one escapes it.
        {"vimbo: dir\\\\\\ x.h dir\\\\ y.h", {"dir\\ x.h", "dir\\", "y.h"}},
        {"C:/out/a.o: C:/src/a.c\n", {"C:/src/a.c"}},
        {"vimbo: a.c\nother: b.c\n", {"a.c"}},
        {"vimbo:\n", {}},
    };
    for (const auto& [text, expected] : rules) {
        Files files;
        EXPECT_TRUE(vimbo::batch::makeRulePrerequisites(text, files)) << text;
        EXPECT_EQ(files, expected) << text;
    }
    for (const char* broken : {"", "a.c b.c\n", "C:\\a.c\n"}) {
        Files files;
        EXPECT_FALSE(vimbo::batch::makeRulePrerequisites(broken, files)) << broken;
    }
    EXPECT_EQ(vimbo::batch::noteIncludes("Note: including file: C:\\inc\\a.h\r\n"
                                       "Note: including file:  C:\\inc\\b b.h\r\n"
                                       "a.c(3): warning C4068: unknown pragma\r\n"),
              (Files{"C:\\inc\\a.h", "C:\\inc\\b b.h"}));
}

class UnitReadsOnDisk : public vimbo::test::TempDirTest {};

// A unit names a file of the run in its own spelling: relative to its
// directory, through "..", a linked directory or an absolute path. A file
// of the same name elsewhere is another file.
TEST_F(UnitReadsOnDisk, TheRunsFilesAreKnownWhateverTheSpelling) {
    write("src/a.h", "");
    write("src/b.h", "");
    write("src/deep/a.h", "");
    write("build/x.c", "");
    fs::create_directory_symlink("src", "linked");
    const vimbo::batch::RunFiles files({"src/a.h", "src/b.h"});
    const std::pair<std::vector<std::string>, std::vector<std::uint32_t>> cases[] = {
        {{"../src/a.h"}, {0}},
        {{"../linked/b.h", "../src/./a.h"}, {0, 1}},
        {{(root() / "src/b.h").string(), "../src/b.h"}, {1}},
        {{"../src/deep/a.h", "x.c", "/usr/include/stdio.h", "../src/missing.h"}, {}},
    };
    for (const auto& [read, expected] : cases) EXPECT_EQ(files.among(read, root() / "build"), expected) << read[0];
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
              "  \"arguments\": [\"/usr/bin/ccache\", \"cc\", \"@build/flags.rsp\", \"-c\", \"src/other.c\", \"-o\", \"build/other.o\"]}" +
                  extra + "]");
    }
    bool noVerifyLeftovers() const {
        for (const auto& entry : fs::recursive_directory_iterator(root()))
            if (entry.path().filename().string().rfind(".vimbo-verify-", 0) == 0) return false;
        return true;
    }
};

// main.c expands __LINE__ below its includes: wraps move it, unless a
// #line puts every line back at its number.
TEST_F(Verify, ASoundRewriteIsKept) {
    writeDatabase();
    const std::string mainBefore = read("src/main.c");
    auto moved = runVimbo({"-p", "build", "--verify", "--tree", "src", "include"});
    EXPECT_EQ(moved.status, 1) << moved.out;
    EXPECT_NE(moved.err.find("vimbo: line numbers move in 1 units: " + root().string() + "/src/main.c (__LINE__"),
              std::string::npos)
        << moved.err;
    EXPECT_NE(moved.err.find("verification failed: line numbers move in 1; every rewritten file is put back"),
              std::string::npos)
        << moved.err;
    EXPECT_EQ(read("src/main.c"), mainBefore);
    // A report for tools names no change that was put back.
    auto reported = runVimbo({"-p", "build", "--verify", "--format", "json", "--tree", "src", "include"});
    EXPECT_EQ(reported.status, 1);
    EXPECT_EQ(reported.out, "{\n  \"findings\": [],\n  \"verification\": {\n    \"verdict\": \"fails\",\n"
                            "    \"units\": 2,\n    \"verified\": 0,\n    \"differing\": 0,\n    \"linesMoved\": 1,\n"
                            "    \"unverified\": 0,\n    \"restored\": true\n  }\n}\n");
    // SARIF: the run's invocation did not succeed, with the same counts.
    auto sarif = runVimbo({"-p", "build", "--verify", "--check", "--format", "sarif", "--tree", "src", "include"});
    EXPECT_EQ(sarif.status, 2) << sarif.err;
    EXPECT_NE(sarif.out.find("\"invocations\": [\n        {\n          \"executionSuccessful\": false,"),
              std::string::npos)
        << sarif.out;
    EXPECT_NE(sarif.out.find("\"linesMoved\": 1,"), std::string::npos) << sarif.out;

    auto accepted = runVimbo({"-p", "build", "--verify", "--allow-line-shift", "--check", "--tree", "src", "include"});
    EXPECT_EQ(accepted.status, 1) << accepted.err;
    EXPECT_NE(accepted.err.find("vimbo: verified 2 of 2 translation units: unchanged; line numbers move in 1"),
              std::string::npos)
        << accepted.err;

    auto run = runVimbo({"-p", "build", "--verify", "--keep-lines", "--format", "json", "--tree", "src", "include"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("vimbo: verified 2 of 2 translation units: unchanged ("), std::string::npos) << run.err;
    EXPECT_EQ(run.out.rfind("{\n  \"findings\": [\n    {\n      \"file\": \"include/b.h\",\n      \"line\": 3,", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\"reason\": \"wrapped\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"verdict\": \"holds\",\n    \"units\": 2,\n    \"verified\": 2,"), std::string::npos)
        << run.out;
    EXPECT_EQ(read("src/main.c"), "#ifndef A_H\n#include \"a.h\"\n#endif\n#ifndef B_H\n#include \"b.h\"\n#endif\n"
                                  "#line 3\nint main(void) { return a() + b() + __LINE__; }\n");
    EXPECT_TRUE(noVerifyLeftovers());

    // A dry run verifies through a copy and leaves the tree alone; only the
    // unit that reads the one file it would rewrite counts.
    write("src/third.c", "#include <a.h>\nint third;\n");
    auto unread = runVimbo({"-p", "build", "--verify", "--check", "--tree", "src"});
    EXPECT_EQ(unread.status, 2) << unread.err;
    EXPECT_NE(unread.err.find("vimbo: verification failed: no unit of the database reads the files that would be "
                              "rewritten ("),
              std::string::npos)
        << unread.err;
    writeDatabase(",\n {\"directory\": \"" + root().string() +
                  "\", \"file\": \"src/third.c\", \"command\": \"cc -Iinclude -c src/third.c\"}");
    auto dry = runVimbo({"-p", "build", "--verify", "--check", "--tree", "src"});
    EXPECT_EQ(dry.status, 1) << dry.err;
    EXPECT_NE(dry.err.find("vimbo: verified 1 of 3 translation units: unchanged; 2 read none of the files that would "
                           "be rewritten ("),
              std::string::npos)
        << dry.err;
    EXPECT_EQ(read("src/third.c"), "#include <a.h>\nint third;\n");

    auto alone = runVimbo({"--verify", "--tree", "src"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_EQ(alone.err, "vimbo: --verify needs -p DIR, the build whose units it checks (try --help)\n");
    EXPECT_EQ(runVimbo({"-p", "build", "--allow-line-shift", "--tree", "src"}).status, 2) << "it goes with --verify";
}

// The rewriting step replaced at its seam by one that changes what a unit
// compiles: every file it touched comes back, bytes, time and mode.
TEST_F(Verify, AChangedUnitPutsEveryFileBack) {
    writeDatabase();
    ASSERT_EQ(::chmod("include/b.h", 0640), 0);
    vimbo::project::CompileDatabase database;
    std::string error;
    ASSERT_TRUE(database.load("build", error, "", [](const std::string&) {})) << error;
    write("include/c.h", "int c;\n");
    const std::vector<std::string> files = {"include/a.h", "include/b.h", "include/c.h", "src/main.c", "src/other.c"};
    std::map<std::string, std::pair<std::string, fs::file_time_type>> before;
    for (const std::string& file : files) before[file] = {read(file), fs::last_write_time(file)};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a new time stamp would show

    vimbo::batch::VerifySettings settings;
    settings.database = &database;
    settings.jobs = 2;
    vimbo::test::RecordingObserver told;
    settings.observer = &told;
    settings.files = files;
    // The rewrite tells which version of each file it left: only those go back.
    std::map<std::string, vimbo::engine::FileVersion> written;
    settings.written = &written;
    const auto replace = [&](const std::string& file, const std::string& text) {
        vimbo::test::writeFile(file + ".new", text);
        fs::rename(file + ".new", file);
        vimbo::engine::fileVersion(file, written[file]);
    };
    const int status = vimbo::batch::runVerified(settings, [&](vimbo::batch::DryRunTexts*) {
        replace("src/main.c", "#ifndef A_H\n#include \"a.h\"\n#endif\n" + before["src/main.c"].first.substr(15));
        // A wrong guard: a.h is skipped where b.h is included first.
        replace("include/b.h", "#ifndef B_H\n#define B_H\n#ifndef B_H\n#include \"a.h\"\n#endif\nint b(void);\n#endif\n");
        // Someone else's edit meanwhile, which is not put back over.
        vimbo::test::writeFile("include/c.h.new", "int edited;\n");
        fs::rename("include/c.h.new", "include/c.h");
        return 0;
    });
    const std::string err = told.messages + told.summaries;
    told.messages.clear();
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find("src/other.c: differs after the rewrite\n"), std::string::npos) << err;
    EXPECT_NE(err.find("include/c.h: changed during the run; left as it is (its original is "), std::string::npos)
        << err;
    EXPECT_NE(err.find("verification failed: 2 of 2 translation units differ; not every file could be put back"),
              std::string::npos)
        << err;
    for (const std::string& file : files) {
        if (file == "include/c.h") {
            EXPECT_EQ(read(file), "int edited;\n");
            continue;
        }
        EXPECT_EQ(read(file), before[file].first) << file;
        EXPECT_EQ(fs::last_write_time(file), before[file].second) << file;
    }
    EXPECT_EQ(fs::status("include/b.h").permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                            fs::perms::group_read);
    EXPECT_FALSE(noVerifyLeftovers()) << "c.h's original is kept where the message says";

    // A dry run that would change a unit says so and writes nothing.
    settings.dryRun = true;
    const int dry = vimbo::batch::runVerified(settings, [&](vimbo::batch::DryRunTexts* texts) {
        texts->emplace_back("include/a.h", "#ifndef A_H\n#define A_H\nint a(int);\n#endif\n");
        return 1;
    });
    const std::string dryErr = told.messages;
    EXPECT_EQ(dry, 2) << dryErr;
    EXPECT_NE(dryErr.find("  before: int a(void);\n  after:  int a(int);\n"), std::string::npos) << dryErr;
    EXPECT_NE(dryErr.find("2 of 2 translation units would differ"), std::string::npos) << dryErr;
    EXPECT_EQ(read("include/a.h"), before["include/a.h"].first);
}

// With backups, a put-back leaves each ".Bak" as it was before the run: the
// run's copy goes, the one it replaced comes back, another's stays.
TEST_F(Verify, BackupsGoBackWithTheirFiles) {
    writeDatabase();
    vimbo::project::CompileDatabase database;
    std::string error;
    ASSERT_TRUE(database.load("build", error, "", [](const std::string&) {})) << error;
    write("include/b.Bak", "an older backup\n");
    const std::vector<std::string> files = {"include/a.h", "include/b.h", "src/main.c"};
    std::map<std::string, std::string> before;
    for (const std::string& file : files) before[file] = read(file);

    vimbo::batch::VerifySettings settings;
    settings.database = &database;
    settings.jobs = 2;
    vimbo::test::RecordingObserver told;
    settings.observer = &told;
    settings.files = files;
    settings.backups = true;
    std::map<std::string, vimbo::engine::FileVersion> written;
    settings.written = &written;
    const auto replace = [&](const std::string& file, const std::string& text) {
        const std::string backup = vimbo::engine::backupNameOf(file);
        vimbo::test::writeFile(backup + ".new", before[file]);
        fs::rename(backup + ".new", backup);
        vimbo::test::writeFile(file + ".new", text);
        fs::rename(file + ".new", file);
        vimbo::engine::fileVersion(file, written[file]);
    };
    const int status = vimbo::batch::runVerified(settings, [&](vimbo::batch::DryRunTexts*) {
        replace("src/main.c", "#ifndef A_H\n#include \"a.h\"\n#endif\n" + before["src/main.c"].substr(15));
        replace("include/b.h", "#ifndef B_H\n#define B_H\n#ifndef B_H\n#include \"a.h\"\n#endif\nint b(void);\n#endif\n");
        replace("include/a.h", before["include/a.h"] + "int more;\n");
        vimbo::test::writeFile("include/a.Bak", "someone else's\n");  // not the run's copy
        return 0;
    });
    const std::string err = told.messages + told.summaries;
    told.messages.clear();
    EXPECT_EQ(status, 1) << err;
    for (const std::string& file : files) EXPECT_EQ(read(file), before[file]) << file;
    EXPECT_FALSE(fs::exists("src/main.Bak"));
    EXPECT_EQ(read("include/b.Bak"), "an older backup\n");
    EXPECT_EQ(read("include/a.Bak"), "someone else's\n");
    EXPECT_TRUE(noVerifyLeftovers()) << err;
}

#ifndef _WIN32
// A dry run's copy keeps the tree's links as they are: one that leads out
// (absolute) is never written through, so the file outside stays whole.
TEST_F(Verify, ADryRunNeverWritesThroughALinkOutOfItsCopy) {
    write("outside/v.h", "#include <a.h>\n#include <a.h>\nint v;\n");
    fs::create_directory_symlink(root() / "outside", root() / "src/out");
    write("src/uses.c", "#include \"out/v.h\"\nint main(void) { return 0; }\n");
    write("build/compile_commands.json", "[{\"directory\": \"" + root().string() +
                                             "\", \"file\": \"src/uses.c\", \"command\": \"cc -Iinclude -c src/uses.c\"}]");
    const auto run = runVimbo({"-p", "build", "--verify", "--check", "--tree", "src", "src/out/v.h"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("can't write the copy of src/out/v.h"), std::string::npos) << run.err;
    EXPECT_EQ(read("outside/v.h"), "#include <a.h>\n#include <a.h>\nint v;\n");
}
#endif

TEST_F(Verify, UnitsThatCannotBeCheckedAreNamedAndKeepTheTreeAsItWas) {
    const std::string dir = root().string();
    write("src/broken.c", "#error not today\n");
    writeDatabase(",\n {\"directory\": \"" + dir + "\", \"file\": \"src/x.c\", \"command\": \"frobcc -c src/x.c\"}" +
                  ",\n {\"directory\": \"" + dir + "\", \"file\": \"src/y.c\", \"arguments\": [\"cc\", \"@none.rsp\"]}" +
                  ",\n {\"directory\": \"" + dir + "\", \"file\": \"src/broken.c\", \"command\": \"cc -c src/broken.c\"}");
    const std::string mainBefore = read("src/main.c");
    auto run = runVimbo({"-p", "build", "--verify", "--keep-lines", "--tree", "src", "include"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("vimbo: " + dir + "/src/x.c: not verified: can't tell how to preprocess with frobcc\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("src/y.c: not verified: can't read the response file " + dir + "/none.rsp\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("src/broken.c: not verified: it fails to preprocess before the rewrite ("), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("verification failed: 3 of 5 translation units could not be verified"), std::string::npos)
        << run.err;
    EXPECT_EQ(read("src/main.c"), mainBefore) << "put back";

    auto allowed = runVimbo({"-p", "build", "--verify", "--keep-lines", "--allow-unverified", "--tree", "src", "include"});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_NE(allowed.out.find("vimbo: verified 2 of 5 translation units: unchanged; 3 could not be verified"),
              std::string::npos)
        << allowed.out;

    // None to verify is never success, whatever is allowed.
    write("build/compile_commands.json",
          "[{\"directory\": \"" + dir + "\", \"file\": \"src/x.c\", \"command\": \"frobcc -c src/x.c\"}]");
    write("src/fresh.c", "#include <a.h>\n");
    auto none = runVimbo({"-p", "build", "--verify", "--allow-unverified", "--tree", "src"});
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.err.find("verification failed: none of the 1 translation units could be verified; nothing was "
                            "rewritten"),
              std::string::npos)
        << none.err;
    EXPECT_EQ(read("src/fresh.c"), "#include <a.h>\n");
}

// Only units that read a file the run rewrote prove anything of it. A
// database written in another checkout reads none of this one's files.
TEST_F(Verify, OnlyUnitsThatReadTheRewrittenFilesCount) {
    const std::string dir = root().string(), elsewhere = dir + "/other";
    for (const char* file : {"include/a.h", "include/b.h", "src/main.c"}) write("other/" + std::string(file), read(file));
    write("lone/x.c", "#include \"y.h\"\n");
    write("lone/y.h", "#ifndef Y_H\n#define Y_H\n#endif\n");
    const std::string otherUnit = "{\"directory\": \"" + elsewhere +
                                  "\", \"file\": \"src/main.c\", \"command\": \"cc -Iinclude -c src/main.c\"}";
    const std::string mainUnit = "{\"directory\": \"" + dir +
                                 "\", \"file\": \"src/main.c\", \"command\": \"cc -Iinclude -c src/main.c\"}";
    const std::string mainBefore = read("src/main.c"), loneBefore = read("lone/x.c");
    struct Case {
        std::string units;
        std::vector<std::string> mode;
        int status;
        std::string message;
        bool rewritten;
    };
    const Case cases[] = {
        {otherUnit, {}, 1,
         "vimbo: verification failed: no unit of the database reads the rewritten files; every rewritten file is put "
         "back as it was (",
         false},
        {otherUnit, {"--check"}, 2,
         "vimbo: verification failed: no unit of the database reads the files that would be rewritten (", false},
        // main.c reads one of the two files rewritten (lone/x.c, which no unit compiles, is the other).
        {otherUnit + ",\n" + mainUnit, {}, 0,
         "vimbo: verified 1 of 2 translation units: unchanged; 1 read none of the rewritten files (", true},
        {otherUnit + ",\n" + mainUnit, {"--diff"}, 1,
         "vimbo: verified 1 of 2 translation units: unchanged; 1 read none of the files that would be rewritten (",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        write("build/compile_commands.json", "[" + c.units + "]");
        std::vector<std::string> arguments = {"-p", "build", "--verify", "--keep-lines", "-i", "include"};
        arguments.insert(arguments.end(), c.mode.begin(), c.mode.end());
        arguments.insert(arguments.end(), {"--tree", "src/main.c", "lone/x.c"});
        const auto run = runVimbo(arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE((c.mode.empty() && c.status == 0 ? run.out : run.err).find(c.message), std::string::npos)
            << run.out << run.err;
        EXPECT_EQ(read("src/main.c") != mainBefore, c.rewritten);
        EXPECT_EQ(read("lone/x.c") != loneBefore, c.rewritten);
        EXPECT_TRUE(noVerifyLeftovers());
        write("src/main.c", mainBefore);
        write("lone/x.c", loneBefore);
    }
}

// With nothing to rewrite there is nothing to verify, and the run says so
// with its own exit status.
TEST_F(Verify, NothingRewrittenIsNothingToVerify) {
    writeDatabase();
    write("plain/p.c", "int p;\n");
    const auto run = runVimbo({"-p", "build", "--verify", "--tree", "plain"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("vimbo: nothing was rewritten; nothing to verify\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("verified"), std::string::npos) << run.out;
    const auto dry = runVimbo({"-p", "build", "--verify", "--check", "--tree", "plain"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.err.find("vimbo: nothing would be rewritten; nothing to verify\n"), std::string::npos) << dry.err;
}

// A compiler that leaves out the list of what it reads (here: a wrapper
// that drops the options asking for it) gives a unit that is not verified.
// A failed verification puts back only what the run wrote, and only
// through the directory it kept it from: an edit made meanwhile (even of
// guard lines alone) stays, and a directory swapped for a link is never
// written through.
TEST_F(Verify, PuttingBackLeavesWhatOthersDidMeanwhile) {
    const std::string dir = root().string();
    const std::string mainBefore = read("src/main.c");
    const struct {
        const char* name;
        std::string act;  // run by the compiler as the units are preprocessed after the rewrite (its third run)
        std::string file;  // where to look afterwards, and what it holds
        std::string holds;
    } cases[] = {
        {"guards edited", "sed -i 's/ifndef A_H/ifndef SOME_FEATURE/' " + dir + "/src/main.c\n", "src/main.c",
         "#ifndef SOME_FEATURE\n#include \"a.h\"\n#endif\n#ifndef B_H\n#include \"b.h\"\n#endif\n"
         "int main(void) { return a() + b() + __LINE__; }\n"},
        {"directory swapped for a link",
         "mv " + dir + "/src " + dir + "/moved && ln -s " + dir + "/outside " + dir + "/src\n", "outside/main.c",
         "outside\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "src");
        fs::remove_all(root() / "moved");
        write("src/main.c", mainBefore);
        write("outside/main.c", "outside\n");
        write("count", "");
        write("act.sh", c.act);
        write("bin/cc", "#!/bin/sh\necho x >> " + dir + "/count\n"
                        "[ $(wc -l < " + dir + "/count) -eq 3 ] && sh " + dir + "/act.sh\nexec cc \"$@\"\n");
        ASSERT_EQ(::chmod("bin/cc", 0755), 0);
        write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", \"command\": \"" +
                                                 dir + "/bin/cc -Iinclude -c src/main.c\"}]");
        const auto run = runVimbo({"-p", "build", "--verify", "--tree", "src"});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(read(c.file), c.holds) << run.err;
        EXPECT_NE(run.err.find("src/main.c: changed during the run; left as it is (its original is "), std::string::npos)
            << run.err;
    }
}

// The originals kept beside the files are more names of them: when they
// can't be removed at the end, the run says where they are and fails, or
// the next run would find every file with two links and leave it alone.
TEST_F(Verify, KeptOriginalsThatStayAreAFailure) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    writeDatabase();
    const std::string dir = root().string();
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {"rewrite kept", {"-p", "build", "--verify", "--keep-lines", "--tree", "src", "include"}, 1},
        {"rewrite put back", {"-p", "build", "--verify", "--tree", "src", "include"}, 1},
    };
    const std::string mainBefore = read("src/main.c");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(root()))
            if (entry.path().filename().string().rfind(".vimbo-verify-", 0) == 0) {
                fs::permissions(entry.path(), fs::perms::owner_all);
                fs::remove_all(entry.path());
            }
        write("src/main.c", mainBefore);
        write("count", "");
        // As the unit is preprocessed after the rewrite (the compiler's third
        // run), the kept files are made to stay; the run names where they are.
        write("bin/cc", "#!/bin/sh\necho x >> " + dir + "/count\n"
                        "[ $(wc -l < " + dir + "/count) -eq 3 ] && chmod 555 " + dir + "/.vimbo-verify-*\n"
                        "exec cc \"$@\"\n");
        ASSERT_EQ(::chmod("bin/cc", 0755), 0);
        write("build/compile_commands.json",
              "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", \"command\": \"" + dir +
                  "/bin/cc -Iinclude -c src/main.c\"}]");
        const auto run = runVimbo(c.args);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(dir + "/.vimbo-verify-"), std::string::npos) << run.out << run.err;
        EXPECT_FALSE(noVerifyLeftovers());
    }
    for (const auto& entry : fs::directory_iterator(root()))
        if (entry.path().filename().string().rfind(".vimbo-verify-", 0) == 0) fs::permissions(entry.path(), fs::perms::owner_all);
}

// A --verify run killed after its rewrite leaves the files rewritten and
// never verified, their originals beside them: a later --verify run names
// that folder and changes nothing, where it would find nothing to do and
// say so as if it had checked.
TEST_F(Verify, ARunKilledMidwayIsNeverTakenForVerified) {
    const std::string dir = root().string();
    const std::string mainBefore = read("src/main.c");
    const struct {
        const char* name;
        int killAt;  // the compiler's run that kills vimbo: 2 before the rewrite, 3 after it
        bool leftBehind;
    } cases[] = {
        {"killed before the rewrite", 2, false},
        {"killed after the rewrite", 3, true},
    };
    const std::string plain = "[{\"directory\": \"" + dir +
                              "\", \"file\": \"src/main.c\", \"command\": \"cc -Iinclude -c src/main.c\"}]";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "src");
        write("src/main.c", mainBefore);
        write("count", "");
        write("bin/cc", "#!/bin/sh\necho x >> " + dir + "/count\n"
                        "[ $(wc -l < " + dir + "/count) -eq " + std::to_string(c.killAt) + " ] && kill -9 $PPID\n"
                        "exec cc \"$@\"\n");
        ASSERT_EQ(::chmod("bin/cc", 0755), 0);
        write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", \"command\": \"" +
                                                 dir + "/bin/cc -Iinclude -c src/main.c\"}]");
        const auto killed = runVimbo({"-p", "build", "--verify", "--keep-lines", "--tree", "src"});
        ASSERT_TRUE(killed.status < 0 || killed.status >= 128) << killed.status << killed.err;  // killed, not done
        ASSERT_EQ(noVerifyLeftovers(), !c.leftBehind);
        const std::string left = read("src/main.c");
        if (c.leftBehind) {
            std::string folder;
            for (const auto& entry : fs::directory_iterator(root() / "src"))
                if (entry.path().filename().string().rfind(".vimbo-verify-", 0) == 0) folder = entry.path().string();
            EXPECT_EQ(read(folder + "/files"), "0\t" + dir + "/src/main.c\n");
            EXPECT_EQ(read(folder + "/0"), mainBefore);
        }
        write("build/compile_commands.json", plain);
        // A folder of the project's own that only begins like one is no such folder.
        fs::create_directories(root() / "src/.vimbo-verify-cache");
        const struct {
            std::vector<std::string> args;
            const char* from;  // where the run is started
            std::string shown;  // the folder as named
        } reruns[] = {
            {{"-p", "build", "--verify", "--keep-lines", "--check", "--tree", "src"}, ".", "vimbo: src/.vimbo-verify-"},
            {{"-p", "build", "--verify", "--keep-lines", "--check", "src/main.c"}, ".", "vimbo: src/.vimbo-verify-"},
            {{"-p", "../../build", "--verify", "--keep-lines", "--check", "--tree", "."}, "src/deeper",
             "vimbo: " + dir + "/src/.vimbo-verify-"},
        };
        for (const auto& rerun : reruns) {
            SCOPED_TRACE(rerun.from);
            const bool below = std::string(rerun.from) != ".";
            if (below && !c.leftBehind) continue;  // no unit of the build compiles deeper.c
            write("src/deeper/deeper.c", "#include \"a.h\"\nint deeper;\n");
            fs::current_path(root() / rerun.from);
            const auto again = runVimbo(rerun.args);
            fs::current_path(root());
            if (!c.leftBehind) {
                EXPECT_EQ(again.status, 1) << again.err;  // would be rewritten, as before the run
                continue;
            }
            EXPECT_EQ(again.status, 2) << again.out << again.err;
            EXPECT_NE(again.err.find(rerun.shown), std::string::npos) << again.err;
            EXPECT_EQ(again.err.find(".vimbo-verify-cache"), std::string::npos) << again.err;
            EXPECT_NE(again.err.find(": originals kept by a --verify run that was cut short; what it rewrote was "
                                     "never verified: put them back (its \"files\" names each one) or remove it\n"),
                      std::string::npos)
                << again.err;
            EXPECT_EQ(read("src/main.c"), left);
        }
    }
}

// A dry --verify run checks through a copy of the tree made of hard links:
// killed, it leaves the copy, whose links make every file of the tree one
// with several names, which no run would wrap. The next run removes the
// copy of a run that is gone, and says so; a live run's copy stays.
TEST_F(Verify, ACopyAKilledDryRunLeftIsRemoved) {
    const std::string dir = root().string();
    // Beside the tree, not in it: the copy is of the tree.
    const fs::path tmp = root().string() + "-tmp";
    fs::create_directories(tmp);
    struct Gone {
        fs::path path;
        ~Gone() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } gone{tmp};
    const vimbo::test::ScopedEnv temporary("TMPDIR", tmp.c_str());
    const auto copies = [&] {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(tmp))
            if (entry.path().filename().string().rfind("vimbo-verify-", 0) == 0)
                found.push_back(entry.path().filename().string());
        return found;
    };
    write("count", "");
    write("bin/cc", "#!/bin/sh\necho x >> " + dir + "/count\n"
                    "[ $(wc -l < " + dir + "/count) -eq 3 ] && kill -9 $PPID\nexec cc \"$@\"\n");
    ASSERT_EQ(::chmod("bin/cc", 0755), 0);
    write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", \"command\": \"" +
                                             dir + "/bin/cc -Iinclude -c src/main.c\"}]");
    const auto killed = runVimbo({"-p", "build", "--verify", "--keep-lines", "--check", "--tree", "src", "include"});
    ASSERT_TRUE(killed.status < 0 || killed.status >= 128) << killed.status << killed.err;
    ASSERT_EQ(copies().size(), 1u);
    const std::string copy = copies()[0];
    EXPECT_GT(fs::hard_link_count(root() / "include/a.h"), 1u);
    // A copy whose run still goes on stays.
    fs::create_directories(tmp / "vimbo-verify-7/tree");
    vimbo::test::writeFile(tmp / "vimbo-verify-7/owner", std::to_string(::getpid()) + "\n");
    fs::permissions(tmp / "vimbo-verify-7", fs::perms::owner_all);

    const auto again = runVimbo({"-i", "include", "--check", "--tree", "src", "include"});
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_NE(again.err.find("vimbo: note: " + (tmp / copy).string() +
                             ": removed the copy of a tree that a dry --verify run, since killed, left"),
              std::string::npos)
        << again.err;
    EXPECT_EQ(copies(), std::vector<std::string>{"vimbo-verify-7"});
    EXPECT_EQ(fs::hard_link_count(root() / "include/a.h"), 1u);
    EXPECT_NE(again.out.find("include/b.h"), std::string::npos) << again.out;
}

TEST_F(Verify, AUnitWhoseReadsAreUnknownIsNotVerified) {
    write("bin/cc", "#!/bin/sh\nskip=\nfor a do\n  shift\n  if [ -n \"$skip\" ]; then skip=; continue; fi\n"
                    "  case $a in -MD) continue;; -MF|-MT) skip=1; continue;; esac\n  set -- \"$@\" \"$a\"\ndone\n"
                    "exec cc \"$@\"\n");
    ASSERT_EQ(::chmod("bin/cc", 0755), 0);
    const std::string dir = root().string();
    write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", \"command\": \"" +
                                             dir + "/bin/cc -Iinclude -c src/main.c\"}]");
    const std::string mainBefore = read("src/main.c");
    const auto run = runVimbo({"-p", "build", "--verify", "--keep-lines", "--tree", "src", "include"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("vimbo: " + dir + "/src/main.c: not verified: can't tell which files it reads (the compiler's "
                           "list of them can't be read)\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("verification failed: none of the 1 translation units could be verified"), std::string::npos)
        << run.err;
    EXPECT_EQ(read("src/main.c"), mainBefore);
}

}  // namespace
#endif
