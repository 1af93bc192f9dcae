// Lists of files and search paths on the command line: what a wrapper,
// xargs or a CI job hands to vimbo.
#include <gtest/gtest.h>

#include "analysis/search_path.h"
#include "project/path_glob.h"
#include "support/command_run.h"
#include "support/engine_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

#ifdef _WIN32
#define DEV_NULL "NUL"
#else
#define DEV_NULL "/dev/null"
#endif

namespace {

using vimbo::test::asWritten;
using vimbo::test::engineRun;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;

const std::string kInput = "#include <a.h>\n";
const std::string kRewritten = asWritten("#ifndef A_H\n#include <a.h>\n#endif\n");

class FileLists : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("other/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
        for (const char* name : {"a.c", "b.c", "c.c", "dir/d.c", "dir/e.txt", "f.inl.txt"}) write(name, kInput);
    }
};

TEST(SearchPath, EntriesAndAbsolutePaths) {
    using vimbo::analysis::searchPathEntries;
    EXPECT_EQ(searchPathEntries("a;b\\c;d"), (Strings{"a", "b\\c", "d"}));
    EXPECT_EQ(searchPathEntries("a;;b"), Strings{"a"}) << "an empty entry ends the path";
    EXPECT_EQ(searchPathEntries(""), Strings{});
    EXPECT_EQ(searchPathEntries("a:b;c"), (Strings{"a:b", "c"}));
    EXPECT_EQ(searchPathEntries("inc:/usr/include;c", true), (Strings{"inc", "/usr/include", "c"}));
    // One letter, a colon and a separator read as a drive, as they would on Windows.
    EXPECT_EQ(searchPathEntries("C:\\inc:D:/x:e", true), (Strings{"C:\\inc", "D:/x", "e"}));
    for (const char* path : {"C:x", "x:", "\\x", "/x", "c:\\"}) EXPECT_TRUE(vimbo::analysis::isAbsolutePath(path)) << path;
    for (const char* path : {"x", ".\\x", "", "x\\y:"}) EXPECT_FALSE(vimbo::analysis::isAbsolutePath(path)) << path;
}

// The library reads a third file as the output again: "vimbo a.c b.c c.c"
// used to put a.c's text over c.c.
TEST_F(FileLists, SingleFileModeRefusesAThirdFile) {
    auto o = runVimbo({"-i", "inc", "a.c", "b.c", "c.c"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "vimbo: one FILE [OUTPUT] at a time; give a list of files to --tree (try --help)\n");
    for (const char* name : {"a.c", "b.c", "c.c"}) EXPECT_EQ(read(name), kInput) << name;
    EXPECT_EQ(runVimbo({"--quiet", "-i", "inc", "a.c", "b.c"}).status, 0) << "FILE OUTPUT stays";
    EXPECT_EQ(read("b.c"), kRewritten);
}

TEST_F(FileLists, TreeTakesFilesAndDirectoriesInAnyMix) {
    write("list.txt", "c.c\r\n\nf.inl.txt\n");
    auto o = runVimbo({"-i", "inc", "--tree", "a.c", "dir", "--files-from", "list.txt"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("4 files examined, 4 rewritten"), std::string::npos) << o.out;
    for (const char* name : {"a.c", "c.c", "dir/d.c", "f.inl.txt"}) EXPECT_EQ(read(name), kRewritten) << name;
    EXPECT_EQ(read("b.c"), kInput);
    EXPECT_EQ(read("dir/e.txt"), kInput) << "a walk takes only sources; a named file is taken as it is";

    auto missing = engineRun({"b.c", "nothing.c"}).include("inc").check().tree().run();
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.messages.find("vimbo: nothing.c: no such file or directory"), std::string::npos)
        << missing.messages;
    EXPECT_EQ(missing.shownFiles, Strings{}) << "a missing path stops the run before any file is read";
    EXPECT_EQ(missing.summaries, "");
    EXPECT_EQ(runVimbo({"--check", "--files-from", "absent.txt"}).status, 2);
    EXPECT_EQ(runVimbo({"--files-from", "list.txt", "b.c"}).status, 2) << "a list needs a batch mode";
}

TEST_F(FileLists, FilesFromStandardInput) {
    auto o = runVimbo({"-i", "inc", "--check", "--files-from", "-"}, "b.c\n");
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.out, "b.c\n");
}

TEST_F(FileLists, IncludeOptionsAppendAndMissingOnesAreReported) {
    write("two.c", "#include <a.h>\n#include <b.h>\n");
    auto both = runVimbo({"-i", "inc", "-i", "other", "--check", "two.c"});
    EXPECT_EQ(both.status, 1) << both.err;
    EXPECT_EQ(both.err.find("warning"), std::string::npos) << both.err;
    auto diff = runVimbo({"-i", "inc", "-I", "other", "--diff", "two.c"});
    EXPECT_NE(diff.out.find("+#ifndef B_H"), std::string::npos) << "the second -i is searched too: " << diff.out;
    EXPECT_NE(diff.out.find("+#ifndef A_H"), std::string::npos) << diff.out;

#ifndef _WIN32
    auto colon = runVimbo({"-i", "inc:other", "--diff", "two.c"});
    EXPECT_NE(colon.out.find("+#ifndef B_H"), std::string::npos) << "':' separates on POSIX: " << colon.out;
#endif

    auto typo = runVimbo({"-i", "inc", "-i", "no/such;inc", "--check", "two.c"});
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.err.substr(0, typo.err.find('\n') + 1), "vimbo: warning: include directory no/such does not exist\n")
        << "reported once, though the search path names it in two places";
    auto strict = runVimbo({"--strict", "-i", "no/such", "--check", "two.c"});
    EXPECT_EQ(strict.status, 2);
    EXPECT_EQ(strict.out, "");
    EXPECT_EQ(read("two.c"), "#include <a.h>\n#include <b.h>\n");
}

// Tree and list runs find headers as a compiler does: a quoted name beside
// the including file first, then along the search path; an angle name along
// the search path only; never with ".h" added.
TEST_F(FileLists, HeadersAreFoundAsTheCompilerFindsThem) {
    write("proj/src/shadow.h", "#ifndef LOCAL_SHADOW\n#define LOCAL_SHADOW\n#endif\n");
    write("proj/include/shadow.h", "#ifndef PATH_SHADOW\n#define PATH_SHADOW\n#endif\n");
    write("proj/include/lib/api.h", "#ifndef LIB_API_H\n#define LIB_API_H\n#endif\n");
    write("proj/include/plain.h", "#ifndef PLAIN_H\n#define PLAIN_H\n#endif\n");
    write("proj/src/main.c",
          "#include \"shadow.h\"\n#include <shadow.h>\n#include \"lib/api.h\"\n#include <plain>\n");
    auto o = engineRun({"proj/src"}).include("proj/include").tree().run();
    EXPECT_EQ(o.status, 0) << o.messages;
    EXPECT_EQ(read("proj/src/main.c"),
              asWritten("#ifndef LOCAL_SHADOW\n#include \"shadow.h\"\n#endif\n"
                        "#ifndef PATH_SHADOW\n#include <shadow.h>\n#endif\n"
                        "#ifndef LIB_API_H\n#include \"lib/api.h\"\n#endif\n"
                        "#include <plain>\n"));
    // Single-file mode keeps its own rules: quoted names in the current directory only.
    write("proj/src/one.c", "#include \"lib/api.h\"\n");
    EXPECT_EQ(runVimbo({"--quiet", "-i", "proj/include", "proj/src/one.c"}).status, 0);
    EXPECT_EQ(read("proj/src/one.c"), "#include \"lib/api.h\"\n");
    // A list run finds them the same way, whatever the current directory.
    auto list = engineRun({"proj/src/one.c"}).include("proj/include").check().run();
    EXPECT_EQ(list.status, 1) << list.messages;
}

TEST(Exclusions, PatternsMatchNamesOrPaths) {
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"*.pb.h", "src/msg.pb.h", true},      {"*.pb.h", "src/msg.h", false},
        {"gen", "src/gen/a.c", true},          {"gen", "src/generated/a.c", false},
        {"src/gen", "src/gen/a.c", true},      {"src/gen", "lib/src/gen/a.c", false},
        {"src/*.c", "src/a.c", true},          {"src/*.c", "src/sub/a.c", false},
        {"src/**/*.c", "src/sub/deep/a.c", true}, {"**/test/*.c", "test/a.c", true},
        {"a?.c", "ab.c", true},                {"a?.c", "a/c", false},
        {"", "a.c", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vimbo::project::matchesExclusion(c.pattern, c.path), c.matches) << c.pattern << " ~ " << c.path;
}

TEST_F(FileLists, ExclusionsAndIgnoredFilesAreLeftOut) {
    for (const char* name : {"repo/src/a.c", "repo/src/gen/g.c", "repo/src/x.pb.h", "repo/build/b.c", "repo/src/t.gen.c"})
        write(name, kInput);
    write("repo/.gitignore", "build/\n*.gen.c\n");
    auto excluding = engineRun({"repo"}).include("inc").check().tree();
    excluding.settings.exclusions = {"gen", "*.pb.h"};
    auto excluded = excluding.run();
    EXPECT_EQ(excluded.shownFiles, (Strings{"repo/build/b.c", "repo/src/a.c", "repo/src/t.gen.c"}))
        << "no git work tree yet";
    if (std::system("git --version >" DEV_NULL " 2>&1") != 0) GTEST_SKIP() << "no git";
    ASSERT_EQ(std::system("git -C repo init -q"), 0);
    excluding.settings.exclusions = {"gen"};
    auto ignored = excluding.run();
    EXPECT_EQ(ignored.shownFiles, (Strings{"repo/src/a.c", "repo/src/x.pb.h"})) << ignored.messages;
    auto all = engineRun({"repo/src", "repo/build/b.c"}).include("inc").check().tree().noGitIgnore().run();
    EXPECT_EQ(all.shownFiles,
              (Strings{"repo/build/b.c", "repo/src/a.c", "repo/src/gen/g.c", "repo/src/t.gen.c", "repo/src/x.pb.h"}));
    auto named = engineRun({"repo/build/b.c"}).include("inc").check().tree().run();
    EXPECT_EQ(named.shownFiles, Strings{"repo/build/b.c"}) << "a file named on its own is taken";
    EXPECT_EQ(runVimbo({"--exclude", "x", "a.c"}).status, 2);
}

}  // namespace

namespace {

// No shell stands between vimbo and the programs it starts: names with
// blanks, quotes, $, backticks, % and line breaks reach them as they are.
TEST_F(FileLists, OddNamesReachChildProcessesAsTheyAre) {
    std::vector<std::string> names = {"a b.c", "$HOME.c", "`id`.c", "100%.c", "semi;colon.c"};
#ifndef _WIN32
    names.insert(names.end(), {"q'uote.c", "d\"quote.c", "line\nbreak.c"});
#endif
    // Each name as an argument, and back: line mode prints what it was given.
    for (const std::string& name : names) {
        auto echoed = runVimbo({"--quiet", "-t", name, "\"end\\\\\"", "%PATH%", "back\\slash"});
        EXPECT_EQ(echoed.out, name + " \"end\\\\\" %PATH% back\\slash\n") << name;
    }
    if (std::system("git --version >" DEV_NULL " 2>&1") != 0) GTEST_SKIP() << "no git";
    for (const std::string& name : names) {
        write("repo/kept/" + name, kInput);
        write("repo/ignored/" + name, kInput);
    }
    write("repo/.gitignore", "ignored/\n");
    ASSERT_EQ(std::system("git -C repo init -q"), 0);
    auto run = engineRun({"repo"}).include("inc").tree().run();
    EXPECT_EQ(run.status, 0) << run.messages;
    for (const std::string& name : names) {
        EXPECT_EQ(read("repo/kept/" + name), kRewritten) << name;
        EXPECT_EQ(read("repo/ignored/" + name), kInput) << name << " is ignored by git";
    }
}

}  // namespace
