// What a repository can't make vimbo do: run a program its configuration
// names (git's fsmonitor, filters, external diffs, pagers, hooks; a
// compiler a .vimbo.toml chose), write a file through an option smuggled in
// as a revision, or have a refusal of git's taken for "nothing ignored".
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "project/git_access.h"
#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using vimbo::project::GitAccess;
using vimbo::project::GitStatus;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;

const std::string kHeader = "#ifndef A_H\n#define A_H\n#endif\n";
const std::string kSource = "#include <a.h>\n";
const char kCommit[] = "git -c user.name=t -c user.email=t@t commit -qm t";

// Every way of asking git this build has: the library and the command.
std::vector<const GitAccess*> gitAccesses() {
    std::vector<const GitAccess*> all{&vimbo::project::gitAccess()};
    if (&vimbo::project::gitCommand() != all.front()) all.push_back(&vimbo::project::gitCommand());
    return all;
}

class RepositoryTrust : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!vimbo::test::gitAvailable()) GTEST_SKIP() << "no git";
    }
    // A repository in `name`: inc/a.h, src/m.c, an ignored src/g.gen.c, a
    // build database, all committed but the ignored file.
    void makeRepository(const std::string& name) {
        write(name + "/inc/a.h", kHeader);
        write(name + "/src/m.c", kSource);
        write(name + "/src/g.gen.c", kSource);
        write(name + "/.gitignore", "*.gen.c\n");
        const std::string top = (root() / name).generic_string();
        write(name + "/build/compile_commands.json",
              "[{\"directory\": \"" + top + "\", \"file\": \"src/m.c\", \"command\": \"cc -Iinc -c src/m.c\"}]");
        ASSERT_EQ(std::system(("cd " + name + " && git init -q && git add -A && " + kCommit).c_str()), 0);
    }
    // A script that leaves `marker` behind when it runs.
    std::string trap(const std::string& name, const std::string& marker, const std::string& then = "") {
        write(name, "#!/bin/sh\ntouch '" + (root() / marker).generic_string() + "'\n" + then);
        fs::permissions(root() / name, fs::perms::owner_all);
        return (root() / name).generic_string();
    }
};

TEST_F(RepositoryTrust, ARevisionIsNeverAnOption) {
    makeRepository("repo");
    fs::current_path(root() / "repo");
    const std::string written = (root() / "written").generic_string();
    const Strings cases[] = {
        {"-i", "inc", "--since", "--output=" + written, "--check", "src"},
        {"-i", "inc", "--since=--output=" + written, "--check", "src"},
        {"-i", "inc", "--check", "--since", "-x", "src"},
        {"-i", "inc", "--tree", "--since", "--output=" + written},
    };
    for (const Strings& arguments : cases) {
        const auto o = runVimbo(arguments);
        EXPECT_EQ(o.status, 2) << arguments[3] << o.err;
        EXPECT_NE(o.err.find("no revision begins with '-'"), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
    // Each way of asking git keeps such a word a revision on its own too.
    for (const GitAccess* git : gitAccesses()) {
        std::string top;
        Strings names;
        EXPECT_EQ(git->changed("--output=" + written, false, top, names, nullptr).status, GitStatus::failed) << git->name;
        EXPECT_TRUE(names.empty()) << git->name;
    }
    EXPECT_FALSE(fs::exists(written));
    EXPECT_EQ(read("repo/src/m.c"), kSource);
    fs::current_path(root());
}

// The repository's own configuration names programs git would run; plain
// git runs each (the traps are real), vimbo none, in any mode.
TEST_F(RepositoryTrust, NoProgramTheRepositoryNamesRuns) {
    makeRepository("repo");
    const std::string hook = trap("monitor", "ran-fsmonitor");
    const std::string clean = trap("clean", "ran-filter", "exec cat\n");
    const std::string external = trap("external", "ran-diff");
    const std::string pager = trap("pager", "ran-pager", "exec cat\n");
    const std::string textconv = trap("textconv", "ran-textconv", "exec cat \"$1\"\n");
    for (const char* name : {"post-index-change", "pre-commit", "reference-transaction", "post-checkout"})
        trap(std::string("repo/.git/hooks/") + name, std::string("ran-") + name);
    write("repo/.gitattributes", "*.c filter=x diff=x\n");
    const std::string configure = "cd repo && git config core.fsmonitor " + hook + " && git config filter.x.clean " +
                                  clean + " && git config filter.x.smudge " + clean + " && git config filter.x.required true && git config diff.external " +
                                  external + " && git config core.pager " + pager + " && git config diff.x.textconv " +
                                  textconv;
    ASSERT_EQ(std::system(configure.c_str()), 0);
    // A changed work-tree file git must hash again (its filter runs then),
    // and one in the index.
    write("repo/src/m.c", kSource + "int m;\n");
    write("repo/src/n.c", kSource);
    ASSERT_EQ(std::system("cd repo && git -c core.fsmonitor=false -c filter.x.clean= -c filter.x.required=false "
                          "add src/n.c"),
              0);
    const auto ran = [&] {
        Strings found;
        for (const auto& entry : fs::directory_iterator(root()))
            if (entry.path().filename().string().rfind("ran-", 0) == 0) found.push_back(entry.path().filename().string());
        for (const std::string& name : found) fs::remove(root() / name);
        std::sort(found.begin(), found.end());
        return found;
    };
    ASSERT_EQ(std::system("cd repo && git status >/dev/null 2>&1 && git diff >/dev/null 2>&1"), 0);
    const Strings plain = ran();
    EXPECT_NE(std::find(plain.begin(), plain.end(), "ran-fsmonitor"), plain.end()) << "the trap works with plain git";
    EXPECT_NE(std::find(plain.begin(), plain.end(), "ran-filter"), plain.end()) << "the trap works with plain git";

    fs::current_path(root() / "repo");
    const struct {
        Strings arguments;
        int status;
        std::string out;
    } cases[] = {
        {{"-i", "inc", "--check", "--tree", "src"}, 1, "src/m.c\nsrc/n.c\n"},
        {{"-i", "inc", "--check", "--since", "HEAD"}, 1, "src/m.c\nsrc/n.c\n"},
        {{"-i", "inc", "--check", "--staged"}, 1, "src/n.c\n"},
        {{"-i", "inc", "--diff", "--since", "HEAD", "src/n.c"}, 1, ""},
        {{"-p", "build", "--check"}, 1, "src/m.c\n"},
        {{"-i", "inc", "--tree", "src"}, 0, "vimbo: 2 files examined, 2 rewritten, 0 skipped, 0 failed\n"},
    };
    for (const auto& c : cases) {
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.arguments[2] << o.err;
        if (!c.out.empty()) {
            EXPECT_EQ(o.out, c.out) << c.arguments[2] << o.err;
        }
        EXPECT_EQ(ran(), Strings()) << c.arguments[2] << " " << c.arguments[3];
    }
    EXPECT_EQ(read("repo/src/g.gen.c"), kSource) << "ignored, so left alone";
    for (const GitAccess* git : gitAccesses()) {
        Strings ignored, names;
        std::string top;
        EXPECT_EQ(git->ignored("src", {"g.gen.c", "m.c"}, ignored).status, GitStatus::answered) << git->name;
        EXPECT_EQ(ignored, Strings{"g.gen.c"}) << git->name;
        EXPECT_EQ(git->changed("HEAD", false, top, names, nullptr).status, GitStatus::answered) << git->name;
        EXPECT_EQ(git->changed("", true, top, names, nullptr).status, GitStatus::answered) << git->name;
        EXPECT_EQ(names, (Strings{"src/m.c", "src/n.c", "src/n.c"})) << git->name;
        EXPECT_EQ(ran(), Strings()) << git->name;
    }
    fs::current_path(root());
}

// git does not ignore a file it tracks, nor take back a file whose
// directory it ignores; each way of asking agrees.
TEST_F(RepositoryTrust, IgnoredAsGitCheckIgnoreTellsIt) {
    write("repo/.gitignore", "*.gen.c\nbuild/\n!build/keep.c\nlib/*.c\n!lib/keep.c\n");
    write("repo/sub/.gitignore", "*.h\n");
    const struct {
        const char* file;
        bool ignored;
        bool tracked;
    } cases[] = {
        {"src/a.c", false, false},     {"src/t.gen.c", false, true}, {"src/u.gen.c", true, false},
        {"build/b.c", true, false},    {"build/keep.c", true, false}, {"build/tracked.c", false, true},
        {"lib/x.c", true, false},      {"lib/keep.c", false, false}, {"sub/x.h", true, false},
        {"sub/y.c", false, false},     {"a.tmp.c", true, false},     {"sub/deep/z.h", true, false},
    };
    write("inc/a.h", kHeader);
    for (const auto& c : cases) write(std::string("repo/") + c.file, kSource);
    ASSERT_EQ(std::system("git -C repo init -q"), 0);
    write("repo/.git/info/exclude", "*.tmp.c\n");
    for (const auto& c : cases)
        if (c.tracked) {
            ASSERT_EQ(std::system((std::string("git -C repo add -f ") + c.file).c_str()), 0);
        }
    Strings files, expected;
    for (const auto& c : cases) {
        files.push_back(c.file);
        if (c.ignored) expected.push_back(c.file);
    }
    // A submodule's files are no concern of the outer rules (git
    // check-ignore would fail on them, and every rule would be lost).
    write("inner/s.gen.c", kSource);
    ASSERT_EQ(std::system((std::string("cd inner && git init -q && git add -A && ") + kCommit).c_str()), 0);
    ASSERT_EQ(std::system("cd repo && git -c protocol.file.allow=always submodule add -q ../inner sub/module"), 0);
    files.push_back("sub/module/s.gen.c");
    std::sort(expected.begin(), expected.end());
    // A partial clone and a sparse checkout mark their repositories so.
    ASSERT_EQ(std::system("cd repo && git config core.repositoryformatversion 1 && "
                          "git config extensions.partialclone origin && git config extensions.worktreeConfig true"),
              0);
    for (const GitAccess* git : gitAccesses()) {
        Strings ignored;
        EXPECT_EQ(git->ignored("repo", files, ignored).status, GitStatus::answered) << git->name;
        std::sort(ignored.begin(), ignored.end());
        EXPECT_EQ(ignored, expected) << git->name;
        Strings fromBuild;
        EXPECT_EQ(git->ignored("repo/build", {"b.c", "tracked.c"}, fromBuild).status, GitStatus::answered);
        EXPECT_EQ(fromBuild, Strings{"b.c"}) << git->name << ": from a directory inside the work tree";
        Strings outside;
        EXPECT_EQ(git->ignored(".", {"x.gen.c"}, outside).status, GitStatus::noWorkTree) << git->name;
    }
    const auto o = runVimbo({"-i", "inc", "--check", "--tree", "repo"});
    EXPECT_EQ(o.out, "repo/build/tracked.c\nrepo/lib/keep.c\nrepo/src/a.c\nrepo/src/t.gen.c\nrepo/sub/module/s.gen.c\n"
                     "repo/sub/y.c\n")
        << o.err;
}

// Each way of asking names the files `git diff --name-only` names.
TEST_F(RepositoryTrust, ChangedFilesAsGitDiffNamesThem) {
    write("repo/a.c", kSource);
    write("repo/gone.c", kSource);
    ASSERT_EQ(std::system((std::string("cd repo && git init -q && git add -A && ") + kCommit).c_str()), 0);
    write("repo/b.c", kSource);
    write("repo/a.c", kSource + "\n");
    ASSERT_EQ(std::system((std::string("cd repo && git add -A && ") + kCommit).c_str()), 0);
    write("repo/sub/c.c", kSource);
    write("repo/b.c", kSource + "\n");
    write("repo/untracked.c", kSource);
    ASSERT_EQ(std::system("cd repo && git rm -q gone.c && git add sub/c.c"), 0);
    const struct {
        std::string revision;
        bool staged;
        Strings names;
    } cases[] = {
        {"HEAD", false, {"b.c", "sub/c.c"}},
        {"HEAD~1", false, {"a.c", "b.c", "sub/c.c"}},
        {"", true, {"sub/c.c"}},
        {"HEAD~1", true, {"a.c", "b.c", "sub/c.c"}},
        {"HEAD~1..HEAD", false, {"a.c", "b.c"}},
        {"HEAD~1...HEAD", false, {"a.c", "b.c"}},
        {"HEAD^{tree}", false, {"b.c", "sub/c.c"}},
    };
    fs::current_path(root() / "repo/sub");
    for (const GitAccess* git : gitAccesses()) {
        for (const auto& c : cases) {
            std::string top;
            Strings names;
            EXPECT_EQ(git->changed(c.revision, c.staged, top, names, nullptr).status, GitStatus::answered)
                << git->name << " " << c.revision;
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, c.names) << git->name << " " << c.revision << (c.staged ? " staged" : "");
            EXPECT_EQ(fs::path(top), fs::canonical(root() / "repo")) << git->name;
        }
        std::string top;
        Strings names;
        EXPECT_EQ(git->changed("no-such-revision", false, top, names, nullptr).status, GitStatus::failed) << git->name;
        EXPECT_EQ(git->changed("HEAD~1..HEAD", true, top, names, nullptr).status, GitStatus::failed) << git->name;
        // The index's text, whatever the work tree holds since; none for a
        // file it does not hold. And which files the work tree holds otherwise.
        write("repo/sub/c.c", "int changed;\n");
        fs::rename(root() / "repo/a.c", root() / "repo/a.c.moved");
        std::vector<std::optional<std::string>> texts;
        EXPECT_EQ(git->indexTexts({"c.c", "../a.c", "../untracked.c"}, texts).status, GitStatus::answered) << git->name;
        EXPECT_EQ(texts, (std::vector<std::optional<std::string>>{kSource, kSource + "\n", std::nullopt})) << git->name;
        Strings unlike;
        EXPECT_EQ(git->unlikeIndex(top, unlike).status, GitStatus::answered) << git->name;
        std::sort(unlike.begin(), unlike.end());
        EXPECT_EQ(unlike, (Strings{"a.c", "b.c", "sub/c.c"})) << git->name;
        fs::rename(root() / "repo/a.c.moved", root() / "repo/a.c");
        write("repo/sub/c.c", kSource);
    }
    fs::current_path(root());
    std::string top;
    Strings names;
    EXPECT_EQ(vimbo::project::gitAccess().changed("HEAD", false, top, names, nullptr).status, GitStatus::noWorkTree);
}

// A pipe, a device or a huge file in the place of one of git's own files
// (its configuration, one it includes, the index, an ignore file) is said,
// never read: reading it would never end.
TEST_F(RepositoryTrust, GitsFilesThatNeverEndStopTheRunAtOnce) {
    const struct {
        const char* name;
        std::string command;  // run in the repository
        std::string named;    // the file the message names
    } cases[] = {
        {"an included configuration", "mkfifo pipe && git config include.path ../pipe", "pipe"},
        {"a conditional include", "mkfifo pipe && git config includeIf.gitdir:/.path ../pipe", "pipe"},
        {"the excludes file", "mkfifo pipe && git config core.excludesFile \"$PWD/pipe\"", "pipe"},
        {"the index", "rm .git/index && ln -s /dev/zero .git/index", ".git/index"},
        {"the configuration", "mv .git/config ../config && mkfifo .git/config", ".git/config"},
        {"an ignore file", "rm .gitignore && mkfifo .gitignore", ".gitignore"},
        {"a huge ignore file", "truncate -s 20G src/.gitignore", "src/.gitignore"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "repo");
        makeRepository("repo");
        ASSERT_EQ(std::system(("cd repo && " + c.command).c_str()), 0);
        for (const GitAccess* git : gitAccesses()) {
            Strings ignored;
            const auto answer = git->ignored("repo", {"src/m.c", "src/g.gen.c"}, ignored);
            EXPECT_EQ(answer.status, GitStatus::failed) << git->name;
            EXPECT_NE(answer.message.find(c.named), std::string::npos) << git->name << ": " << answer.message;
        }
        const auto run = runVimbo({"-i", "repo/inc", "--tree", "repo/src"});
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("--no-git-ignore takes them all"), std::string::npos) << run.err;
        EXPECT_EQ(read("repo/src/m.c"), kSource);
    }
}

// As root in a work tree another user owns (CI over a mounted checkout),
// git refuses to read it: vimbo stops before it writes, and says how to
// trust it.
TEST_F(RepositoryTrust, ARepositoryGitRefusesStopsTheRun) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the repository to another user";
    makeRepository("repo");
    write("repo/src/m.c", kSource + "int m;\n");
    ASSERT_EQ(std::system("chown -R 12345 repo"), 0);
    write("home/.keep", "");
    // No safe.directory of this machine's user counts.
    vimbo::test::ScopedEnv home("HOME", (root() / "home").c_str());
    vimbo::test::ScopedEnv xdg("XDG_CONFIG_HOME", (root() / "home/.config").c_str());
    const std::string top = fs::canonical(root() / "repo").generic_string();
    fs::current_path(root() / "repo");
    const Strings cases[] = {
        {"-i", "inc", "--tree", "src"},
        {"-i", "inc", "--check", "--tree", "src"},
        {"-i", "inc", "--tree", "--since", "HEAD"},
        {"-i", "inc", "--check", "--staged"},
        {"-p", "build", "--tree"},
    };
    for (const Strings& arguments : cases) {
        const auto o = runVimbo(arguments);
        EXPECT_EQ(o.status, 2) << arguments[2] << " " << arguments[3] << o.err;
        EXPECT_NE(o.err.find("another user owns it (dubious ownership); if you trust it: git config --global --add "
                             "safe.directory " + top),
                  std::string::npos)
            << o.err;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(read("repo/src/g.gen.c"), kSource);
    EXPECT_EQ(read("repo/src/m.c"), kSource + "int m;\n");
    for (const GitAccess* git : gitAccesses()) {
        Strings ignored;
        EXPECT_EQ(git->ignored("src", {"g.gen.c"}, ignored).status, GitStatus::refused) << git->name;
        std::string where;
        Strings names;
        EXPECT_EQ(git->changed("HEAD", false, where, names, nullptr).status, GitStatus::refused) << git->name;
    }
    const auto all = runVimbo({"-i", "inc", "--check", "--tree", "--no-git-ignore", "src"});
    EXPECT_EQ(all.out, "src/g.gen.c\nsrc/m.c\n") << "--no-git-ignore asks git nothing: " << all.err;
    // The fix the message names works, and so does trusting every directory
    // (as CI images do); an empty entry takes back what stood before it.
    const struct {
        std::string trusted;
        int status;
    } settings[] = {{"*\n\tdirectory =", 2}, {"*", 1}, {top, 1}};
    for (const auto& setting : settings) {
        write("home/.gitconfig", "[safe]\n\tdirectory = " + setting.trusted + "\n");
        const auto tree = runVimbo({"-i", "inc", "--check", "--tree", "src"});
        EXPECT_EQ(tree.status, setting.status) << setting.trusted << ": " << tree.err;
        const auto since = runVimbo({"-i", "inc", "--check", "--since", "HEAD"});
        EXPECT_EQ(since.status, setting.status) << setting.trusted << ": " << since.err;
        if (setting.status == 1) {
            EXPECT_EQ(tree.out, "src/m.c\n") << tree.err;
            EXPECT_EQ(since.out, "src/m.c\n") << since.err;
        }
        for (const GitAccess* git : gitAccesses()) {
            Strings ignored;
            EXPECT_EQ(git->ignored("src", {"g.gen.c"}, ignored).status == GitStatus::refused, setting.status == 2)
                << git->name << " " << setting.trusted;
        }
    }
    fs::current_path(root());
}

// A compiler inside the repository runs only when the command line named
// the database; a .vimbo.toml alone can't choose it.
TEST_F(RepositoryTrust, VerifyRunsNoCompilerTheRepositoryChose) {
    if (std::system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    write("proj/inc/a.h", kHeader);
    write("proj/m.c", kSource + "int m;\n");
    const std::string script = trap("proj/tools/gcc", "ran-compiler", "exec cc \"$@\"\n");
    const std::string top = (root() / "proj").generic_string();
    const auto database = [&](const std::string& compiler, const std::string& flags = "") {
        write("proj/build/compile_commands.json", "[{\"directory\": \"" + top + "\", \"file\": \"m.c\", \"command\": \"" +
                                                      compiler + " -Iinc " + flags + " -c m.c\"}]");
    };
    write("proj/.vimbo.toml", "compile-commands = \"build\"\n");
    fs::current_path(root() / "proj");
    const struct {
        std::string compiler, flags;
        Strings arguments;
        int status;
        std::string message;
        bool runs;
    } cases[] = {
        {script, "", {"--verify", "--check", "m.c"}, 2,
         "m.c: not verified: the compiler " + fs::canonical(script).generic_string() +
             " lies inside the repository; name the database with -p to run it",
         false},
        {"tools/gcc", "", {"--verify", "--check", "m.c"}, 2,
         "m.c: not verified: the compiler tools/gcc is named from the unit's directory", false},
        {"cc", "-wrapper " + script, {"--verify", "--check", "m.c"}, 2,
         "m.c: not verified: its command makes the compiler run or load another program (-wrapper)", false},
        {"cc", "-Wp,-fplugin=" + script, {"--verify", "--check", "m.c"}, 2,
         "m.c: not verified: its command makes the compiler run or load another program (-Wp,-fplugin=", false},
        // Named through /proc/self/cwd, it is found from the unit's directory, not vimbo's.
        {"/proc/self/cwd/tools/gcc", "", {"--verify", "--check", "m.c"}, 2,
         "m.c: not verified: the compiler /proc/self/cwd/tools/gcc is named through the process's own files", false},
        {"cc", "", {"--verify", "--check", "m.c"}, 1, "verified 1 of 1 translation units: unchanged", false},
        {script, "", {"-p", "build", "--verify", "--check", "m.c"}, 1, "verified 1 of 1 translation units: unchanged",
         true},
        {"tools/gcc", "", {"-p", "build", "--verify", "--check", "m.c"}, 1,
         "verified 1 of 1 translation units: unchanged", true},
    };
    for (const auto& c : cases) {
        database(c.compiler, c.flags);
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.compiler << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.compiler << ": " << o.err;
        EXPECT_EQ(fs::exists(root() / "ran-compiler"), c.runs) << c.compiler << " " << c.arguments[0];
        fs::remove(root() / "ran-compiler");
    }
    EXPECT_EQ(read("proj/m.c"), kSource + "int m;\n");
    fs::current_path(root());
}

}  // namespace

#endif
