// Whole trees: --tree rewrites, --check and --diff change nothing and agree
// with what --tree does.
#include <gtest/gtest.h>

#include <map>

#include "platform/file_system.h"
#include "platform/line_endings.h"
#include "support/command_run.h"
#include "support/engine_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"
#include "vimbo/engine/file_rewriter.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::asWritten;
using vimbo::test::engineRun;
using vimbo::test::runVimbo;

struct Snapshot {
    std::string bytes;
    fs::file_time_type time;
    bool link;
    bool operator==(const Snapshot& o) const { return bytes == o.bytes && time == o.time && link == o.link; }
};
using TreeSnapshot = std::map<std::string, Snapshot>;

const std::string kGuarded = asWritten("#ifndef A_H\n#include <a.h>\n#endif\n");

class TreeMode : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("proj/src/main.c", "#include \"local.h\"\n#include <a.h>\nint main(void) { return 0; }\n");
        write("proj/src/local.h", "#ifndef LOCAL_H\n#define LOCAL_H\n#endif\n");
        write("proj/src/deep/x.cpp", "#include \"../local.h\"\n");
        write("proj/src/none.c", "int none;\n");
        write("proj/.hidden/h.c", "#include <a.h>\n");
        write("proj/src/notes.txt", "#include <a.h>\n");
        write("proj/src/upper.H", "#include <a.h>\n");
        // Names of their own: files that differ only in extension share one .Bak.
        for (const char* extension : {"c", "cc", "cpp", "cxx", "h", "hh", "hpp", "hxx", "inl"})
            write(std::string("proj/ext/") + extension + "." + extension, "#include <a.h>\n");
#ifndef _WIN32
        fs::create_symlink("main.c", root() / "proj/src/link.c");
#endif
    }

    TreeSnapshot snapshot(const std::string& dir) {
        TreeSnapshot result;
        for (auto it = fs::recursive_directory_iterator(root() / dir); it != fs::recursive_directory_iterator(); ++it) {
            const bool link = it->is_symlink();
            if (it->is_directory() && !link) continue;
            const std::string name = fs::relative(it->path(), root()).generic_string();
            result[name] = Snapshot{link ? "" : read(name), link ? fs::file_time_type{} : it->last_write_time(), link};
        }
        return result;
    }

    const std::vector<std::string> rewritten = {
        "proj/ext/c.c",     "proj/ext/cc.cc",   "proj/ext/cpp.cpp", "proj/ext/cxx.cxx", "proj/ext/h.h",
        "proj/ext/hh.hh",   "proj/ext/hpp.hpp", "proj/ext/hxx.hxx", "proj/ext/inl.inl", "proj/src/deep/x.cpp",
        "proj/src/main.c", "proj/src/upper.H"};
};

TEST_F(TreeMode, RewritesEverySourceFromItsOwnDirectory) {
    auto o = engineRun({"proj"}).backup().include("inc").tree().run();
    EXPECT_EQ(o.status, 0) << o.messages;
    EXPECT_NE(o.summaries.find("vimbo: 14 files examined, 12 rewritten, "), std::string::npos) << o.summaries;
    EXPECT_EQ(read("proj/src/main.c"),
              asWritten("#ifndef LOCAL_H\n#include \"local.h\"\n#endif\n") + kGuarded +
                  asWritten("int main(void) { return 0; }\n"));
    EXPECT_EQ(read("proj/src/main.Bak"), asWritten("#include \"local.h\"\n#include <a.h>\nint main(void) { return 0; }\n"));
    EXPECT_EQ(read("proj/src/deep/x.cpp"), asWritten("#ifndef LOCAL_H\n#include \"../local.h\"\n#endif\n"));
    EXPECT_EQ(read("proj/ext/inl.inl"), kGuarded);
    EXPECT_EQ(read("proj/src/upper.H"), kGuarded);
    EXPECT_EQ(read("proj/.hidden/h.c"), "#include <a.h>\n");
    EXPECT_EQ(read("proj/src/notes.txt"), "#include <a.h>\n");
    EXPECT_EQ(read("proj/src/none.c"), "int none;\n");
    for (const auto& entry : fs::recursive_directory_iterator(root() / "proj"))
        EXPECT_NE(entry.path().filename(), "$vb$tmp$.$$$");
#ifndef _WIN32
    EXPECT_NE(o.summaries.find(", 1 skipped, 0 failed"), std::string::npos) << o.summaries;
    EXPECT_NE(o.messages.find("proj/src/link.c: skipped"), std::string::npos) << o.messages;
    EXPECT_TRUE(fs::is_symlink(root() / "proj/src/link.c"));
#endif
}

TEST_F(TreeMode, CheckListsWhatTreeRewritesAndChangesNothing) {
    const TreeSnapshot before = snapshot("proj");
    auto check = engineRun({"proj"}).backup().include("inc").check().tree().run();
    EXPECT_EQ(check.status, 1) << check.messages;
    EXPECT_EQ(check.shownFiles, rewritten);
    EXPECT_TRUE(snapshot("proj") == before) << "check must leave every byte and time stamp";

    engineRun({"proj"}).include("inc").tree().run();
    auto again = engineRun({"proj"}).include("inc").check().tree().run();
    EXPECT_EQ(again.status, 0) << again.messages;
    EXPECT_EQ(again.shownFiles, std::vector<std::string>{});
}

TEST_F(TreeMode, DiffChangesNothing) {
    const TreeSnapshot before = snapshot("proj");
    auto diff = engineRun({"proj"}).include("inc").diff().tree().run();
    EXPECT_EQ(diff.status, 1) << diff.messages;
    EXPECT_NE(diff.diffs.find("--- a/proj/src/main.c\n+++ b/proj/src/main.c\n@@ -1,3 +1,7 @@\n"), std::string::npos)
        << diff.diffs;
    EXPECT_TRUE(snapshot("proj") == before);
}

#ifndef _WIN32
TEST_F(TreeMode, DiffAppliedWithPatchGivesTheRewrite) {
    fs::create_directories(root() / "copy");
    fs::copy(root() / "proj", root() / "copy/proj", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    write("diff.txt", engineRun({"proj"}).include("inc").diff().tree().run().diffs);
    engineRun({"proj"}).include("inc").tree().run();
    ASSERT_EQ(std::system("cd copy && patch -s -p1 < ../diff.txt"), 0);
    TreeSnapshot rewrittenTree = snapshot("proj"), patchedTree;
    for (const auto& [name, entry] : snapshot("copy/proj")) patchedTree[name.substr(5)] = entry;
    ASSERT_EQ(rewrittenTree.size(), patchedTree.size());
    for (const auto& [name, entry] : rewrittenTree) EXPECT_EQ(entry.bytes, patchedTree[name].bytes) << name;
}

// Under git: a rewrite only adds lines, whatever each line ends in, and the
// diff of a dry run over "." applies from the root of the work tree.
TEST_F(TreeMode, OnlyAddedLinesUnderGit) {
    if (std::system("git --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no git";
    const std::map<std::string, std::string> files = {
        {"repo/lf.c", "int a;\n#include <a.h>\nint b;\n"},
        {"repo/crlf.c", "int a;\r\n#include <a.h>\r\nint b;\r\n"},
        {"repo/mixed.c", "int a;\r\n#include <a.h>\nint b;\r\n"},
        {"repo/sub/lone.c", "#include <a.h>\nint a;\rint b;\n\x1a\n"},
        {"repo/sub/nul.c", std::string("#include <a.h>\n\0\n", 17)},
        {"repo/open.c", "int a;\n#include <a.h>"},
    };
    for (const auto& [name, bytes] : files) write(name, bytes);
    const std::string include = (root() / "inc").string();
    ASSERT_EQ(std::system("cd repo && git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm t"), 0);
    fs::current_path(root() / "repo");
    auto diff = engineRun({"."}).include(include).diff().tree().run();
    vimbo::test::writeFile(root() / "diff.txt", diff.diffs);
    EXPECT_EQ(diff.status, 1) << diff.messages;
    EXPECT_EQ(diff.diffs.find("a/./"), std::string::npos) << "paths are normalised";
    EXPECT_NE(diff.diffs.find("--- a/sub/lone.c\n"), std::string::npos) << diff.diffs;
    auto walk = engineRun({"."}).include(include).tree().run();
    EXPECT_EQ(walk.status, 0) << walk.messages;
    fs::current_path(root());
    ASSERT_EQ(std::system("cd repo && git diff --numstat > ../numstat.txt"), 0);
    EXPECT_EQ(read("numstat.txt"),
              "2\t0\tcrlf.c\n2\t0\tlf.c\n2\t0\tmixed.c\n3\t1\topen.c\n2\t0\tsub/lone.c\n-\t-\tsub/nul.c\n")
        << "only a last line without a line break shows as changed (git counts no lines of a file with NUL)";
    EXPECT_EQ(read("repo/mixed.c"), "int a;\r\n#ifndef A_H\n#include <a.h>\n#endif\nint b;\r\n");
    EXPECT_EQ(read("repo/open.c"), "int a;\n#ifndef A_H\n#include <a.h>\n#endif");

    // The dry run's diff gives the same bytes, through git apply and patch alike.
    std::map<std::string, std::string> rewrittenBytes;
    for (const auto& file : files) rewrittenBytes[file.first] = read(file.first);
    for (const char* apply : {"git apply ../diff.txt", "patch -s -p1 < ../diff.txt"}) {
        ASSERT_EQ(std::system("cd repo && git checkout -q -- ."), 0);
        ASSERT_EQ(std::system((std::string("cd repo && ") + apply).c_str()), 0) << apply;
        for (const auto& file : files) EXPECT_EQ(read(file.first), rewrittenBytes[file.first]) << file.first << ": " << apply;
    }
}

// Ctrl-C during a long run: no file is begun after it, the ones in flight
// finish, and each file is either as it was or fully rewritten.
TEST_F(TreeMode, InterruptedRunsLeaveEveryFileWhole) {
    std::string original, headers;
    for (int h = 0; h < 80; ++h) {
        const std::string name = "h" + std::to_string(h);
        write("inc/" + name + ".h", "#ifndef G" + name + "\n#define G" + name + "\n#endif\n");
        original += "#include <" + name + ".h>\n";
        headers += "#ifndef G" + name + "\n#include <" + name + ".h>\n#endif\n";
    }
    for (int d = 0; d < 20; ++d)
        for (int f = 0; f < 40; ++f) write("big/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c", original);
    // The signal comes once the first file is rewritten (its .Bak shows),
    // so the handler is in place however slowly the program starts.
    const std::string command = std::string("'") + VIMBO_CLI +
                                "' -j 2 -b -i inc --tree big > out.txt 2> err.txt & pid=$!; "
                                "while [ -z \"$(find big -name '*.Bak' -print -quit)\" ] && kill -0 $pid 2>/dev/null; "
                                "do :; done; kill -INT $pid 2>/dev/null; wait $pid";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) GTEST_SKIP() << "the run ended before the signal";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << read("err.txt");
    EXPECT_EQ(read("out.txt").rfind("vimbo: interrupted: ", 0), 0u) << read("out.txt");
    std::size_t whole = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root() / "big")) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name, "$vb$tmp$.$$$") << entry.path();
        if (entry.path().extension() != ".c") continue;
        const std::string text = read(fs::relative(entry.path(), root()).string());
        EXPECT_TRUE(text == original || text == headers) << entry.path();
        if (text == headers) {
            ++whole;
            EXPECT_EQ(vimbo::test::readFile(fs::path(entry.path()).replace_extension(".Bak")), original);
        }
    }
    EXPECT_LT(whole, 800u);
}

TEST_F(TreeMode, ProgressShowsOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a terminal";
    const std::string command = std::string("script -qec \"") + VIMBO_CLI +
                                " -i inc --check --tree proj\" /dev/null > tty.txt 2>&1";
    std::system(command.c_str());
    EXPECT_NE(read("tty.txt").find("vimbo: 14 of 14 files"), std::string::npos) << read("tty.txt");
}
#endif

// A wrap changes which macro the lines below stand under, so a second run of
// the rules over a file can wrap more; a tree run settles each file at once.
TEST_F(TreeMode, EachFileSettlesInOneVisit) {
    write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    write("cascade/m.c", "#ifndef A_H\n#include <a.h>\n#endif\n#include <b.h>\n#include <a.h>\n");
    auto o = engineRun({"cascade"}).backup().include("inc").tree().run();
    EXPECT_EQ(o.status, 0) << o.messages;
    EXPECT_EQ(read("cascade/m.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n#ifndef B_H\n#include <b.h>\n#endif\n"
                                             "#ifndef A_H\n#include <a.h>\n#endif\n"));
    EXPECT_EQ(read("cascade/m.Bak"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n#include <b.h>\n#include <a.h>\n"));
    auto again = engineRun({"cascade"}).include("inc").check().tree().run();
    EXPECT_EQ(again.status, 0) << again.messages;
}

// Files are rewritten in parallel, whole directories at a time; the trees,
// the messages and their order are those of one job.
TEST_F(TreeMode, JobsGiveTheSameResult) {
    for (int d = 0; d < 6; ++d)
        for (int f = 0; f < 5; ++f)
            write("many/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c",
                  f == 2 ? "int x;\n" : "#include <a.h>\n#include \"../d0/f0.c\"\n");
    write("many/d3/$vb$tmp$.$$$", "left over\n");
    // Files that stay as they are, and say so, in the order of the list.
    for (const char* file : {"many/d3/f0.c", "many/d3/f1.c"})
        fs::permissions(root() / file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directories(root() / "copy");
    fs::copy(root() / "many", root() / "copy/many", fs::copy_options::recursive);
    auto one = engineRun({"many"}).jobs(1).include("inc").tree().run();
    fs::current_path(root() / "copy");
    auto four = engineRun({"many"}).jobs(4).include("../inc").tree().run();
    fs::current_path(root());
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(four.status, one.status);
    EXPECT_EQ(four.summaries, one.summaries);
    EXPECT_EQ(four.shownFiles, one.shownFiles);
    EXPECT_EQ(four.messages, one.messages);
    EXPECT_NE(one.messages.find("many/d3/f0.c: Error: input file is read-only; left unchanged.\n"), std::string::npos)
        << one.messages;
    EXPECT_NE(one.messages.find("vimbo: many/d3/$vb$tmp$.$$$: a scratch file that a run cut short left, with text no "
                                "file beside it has; it stays: look at what it holds, then remove it\n"),
              std::string::npos)
        << one.messages;
    EXPECT_LT(one.messages.find("many/d3/f0.c"), one.messages.find("many/d3/f1.c")) << "in the order of the list";
    TreeSnapshot a = snapshot("many"), b;
    for (const auto& [name, entry] : snapshot("copy/many")) b[name.substr(5)] = entry;
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, entry] : a) EXPECT_EQ(entry.bytes, b[name].bytes) << name;
}

// A directory that refuses new files (read-only, for anyone but root): the
// message must not send the user to look for a scratch file that is not there.
TEST_F(TreeMode, NoScratchFileIsNamedThatIsNotThere) {
    vimbo::test::fileSystem().xCreateNew = [](const vimbo::platform::FileSystemOps&, const std::string&) {
        return vimbo::platform::kNoFile;
    };
    vimbo::engine::BatchContext context(false, vimbo::test::fileSystem());
    vimbo::engine::DirectoryRewriter directory(context, {});
    const vimbo::engine::FileOutcome refused = directory.rewrite("proj/src/upper.H", {"inc", ""}, {});
    EXPECT_EQ(refused.failure, vimbo::engine::Failure::cantCreateScratch);
    EXPECT_EQ(refused.message, "Error: can't create temporary file.");
    EXPECT_EQ(refused.scratchLeft, "");
    // A file a run cut short left stays, and is told of; it is no scratch
    // file of this run's to look at.
    write("proj/src/$vb$tmp$.$$$", "left over\n");
    EXPECT_EQ(directory.rewrite("proj/src/upper.H", {"inc", ""}, {}).scratchLeft, "");
    EXPECT_EQ(context.problems(),
              std::vector<std::string>{"proj/src/$vb$tmp$.$$$: a scratch file that a run cut short left, with text no "
                                       "file beside it has; it stays: look at what it holds, then remove it"});
    EXPECT_EQ(read("proj/src/$vb$tmp$.$$$"), "left over\n");
}

#ifdef __linux__
// Someone saves a file of the tree (by rename, as editors do) after its last
// look and right before the swap: the swap takes their file away, so it is
// swapped back and stays as they saved it, and the run says so.
namespace saved {
decltype(vimbo::platform::FileSystemOps::xExchange) realExchange;
bool done;
}  // namespace saved

TEST_F(TreeMode, AFileSavedJustBeforeItsSwapStaysAsSaved) {
    saved::realExchange = vimbo::test::fileSystem().xExchange;
    saved::done = false;
    vimbo::test::fileSystem().xExchange = [](const vimbo::platform::FileSystemOps& self, const std::string& a,
                                             const std::string& b) {
        if (!saved::done) {
            saved::done = true;
            vimbo::test::writeFile("proj/src/saved", "saved elsewhere\n");
            fs::rename("proj/src/saved", vimbo::platform::nativePath(b));
        }
        return saved::realExchange(self, a, b);
    };
    vimbo::engine::BatchContext context(false, vimbo::test::fileSystem());
    vimbo::engine::DirectoryRewriter directory(context, {});
    const vimbo::engine::FileOutcome first = directory.rewrite("proj/src/upper.H", {"inc", ""}, {});
    EXPECT_EQ(first.failure, vimbo::engine::Failure::changedDuringRun);
    EXPECT_EQ(first.message, "Error: can't replace proj/src/upper.H: it changed during the run; left as saved.");
    EXPECT_EQ(read("proj/src/upper.H"), "saved elsewhere\n");
    EXPECT_TRUE(directory.rewrite("proj/src/main.c", {"inc", ""}, {}).changed) << "the next file goes on";
    for (const auto& entry : fs::directory_iterator(root() / "proj/src"))
        EXPECT_EQ(entry.path().filename().string().find("$vb$"), std::string::npos) << entry.path();
}
#endif

namespace late {
decltype(vimbo::platform::FileSystemOps::xReadOnly) realReadOnly;
std::string text;  // saved over the file just before its commit, once
}  // namespace late

// A run holds each file to the version it read. A file found changed when
// its rewrite reads it is read as it is now; one that someone else saves
// (a new file in its place) after that is left as they saved it.
TEST_F(TreeMode, AFileChangedDuringTheRunIsRewrittenOnlyFromWhatItHolds) {
    const std::string file = "proj/src/main.c", original = read(file);
    const std::string other = "#include <a.h>\nint other;\n" + std::string(original.size() - 26, ' ');
    struct Case {
        const char* name;
        std::string beforeRewrite, beforeCommit;  // "" leaves the file alone
        bool rewritten;
    } cases[] = {
        // The include past the end of the version the index read is wrapped too.
        {"grown before its rewrite", original + "#include <a.h>\n", "", true},
        {"cut short before its rewrite", "#include <a.h>\n", "", true},
        {"replaced at the same size before its rewrite", other, "", false},
        {"saved before its commit", "", other, false},
    };
    late::realReadOnly = vimbo::test::fileSystem().xReadOnly;
    vimbo::test::fileSystem().xReadOnly = [](const vimbo::platform::FileSystemOps& self, const std::string& path,
                                             const vimbo::platform::FileIdentity* known) {
        if (!late::text.empty()) {
            vimbo::test::writeFile("proj/src/saved", late::text);
            fs::rename("proj/src/saved", vimbo::platform::nativePath(path));
            late::text.clear();
        }
        return late::realReadOnly(self, path, known);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write(file, original);
        vimbo::engine::FileOutcome outcome;
        {  // the run ends, and with it the scratch file
            vimbo::engine::BatchContext context(false, vimbo::test::fileSystem());
            context.index({file}, {}, 1);
            if (!c.beforeRewrite.empty()) {
                write("proj/src/saved", c.beforeRewrite);
                fs::rename(root() / "proj/src/saved", root() / file);
            }
            late::text = c.beforeCommit;
            outcome = vimbo::engine::DirectoryRewriter(context, {}).rewrite(file, {"inc", ""}, {});
        }
        const std::string holds = c.beforeCommit.empty() ? (c.beforeRewrite.empty() ? original : c.beforeRewrite)
                                                         : c.beforeCommit;
        if (c.rewritten) {
            EXPECT_EQ(outcome.failure, vimbo::engine::Failure::none);
            std::size_t wraps = 0;
            for (std::size_t at = 0; (at = read(file).find(kGuarded, at)) != std::string::npos; at += kGuarded.size())
                ++wraps;
            std::size_t includes = 0;
            for (std::size_t at = 0; (at = holds.find("#include <a.h>", at)) != std::string::npos; ++at) ++includes;
            EXPECT_EQ(wraps, includes);
        } else {
            EXPECT_EQ(outcome.failure, vimbo::engine::Failure::changedDuringRun);
            EXPECT_EQ(outcome.message, "Error: can't replace " + file + ": it changed during the run; left as saved.");
            EXPECT_EQ(read(file), holds);
        }
        EXPECT_FALSE(fs::exists(root() / "proj/src/$vb$tmp$.$$$"));
    }
}

// A rewrite reads the version the index read no further than its last
// "include": the lines behind it are copied as they are, and a file without
// the word is not read again.
TEST_F(TreeMode, TextAfterTheLastIncludeIsCopiedAsItIs) {
    std::string filler;
    while (filler.size() < 40000) filler += "int filler;\n";  // more than a read takes at once
    // A last line without a break keeps none, but in text mode, which ends every line.
    const bool textMode = vimbo::platform::kSystemLineEndings == vimbo::platform::LineEndings::textMode;
    const std::string guarded = asWritten("#ifndef A_H\n#include <a.h>\n#endif") + (textMode ? "\r\n" : "");
    const struct {
        std::string before, after;
    } cases[] = {
        {"int x;\n#include <a.h>", asWritten("int x;\n") + guarded},
        {"#include <a.h>\n// include\nint y;\n", kGuarded + asWritten("// include\nint y;\n")},
        {filler + "#include <a.h>\n" + filler, asWritten(filler) + kGuarded + asWritten(filler)},
        {"\xEF\xBB\xBFint x;\r\n#include <a.h>\r\nint y;\r\n", "\xEF\xBB\xBFint x;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint y;\r\n"},
        {"int z; /* inc lude */\n" + filler, "int z; /* inc lude */\n" + filler},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) write("proj/t/" + std::to_string(i) + ".c", cases[i].before);
    const fs::file_time_type untouched = fs::last_write_time(root() / "proj/t/4.c");
    engineRun({"proj/t"}).jobs(1).include("inc").tree().run();
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(read("proj/t/" + std::to_string(i) + ".c"), cases[i].after) << i;
    EXPECT_EQ(fs::last_write_time(root() / "proj/t/4.c"), untouched);
    // The lines copied keep their numbers.
    write("proj/tk/k.c", "#include <a.h>\nint x;\nint y;");
    engineRun({"proj/tk"}).jobs(1).include("inc").keepLines().tree().run();
    EXPECT_EQ(read("proj/tk/k.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n#line 2\nint x;\n") + "int y;" +
                                       (textMode ? "\r\n" : ""));
}

// Some file systems (network, FUSE) hand out a file a few bytes per read:
// only a read that stops short at the size the open found ends the file.
TEST_F(TreeMode, ReadsOfAFewBytesAtATimeStillReadWholeFiles) {
    vimbo::test::fileSystem().xRead = [](const vimbo::platform::FileSystemOps&, vimbo::platform::FileHandle file,
                                         char* buffer, std::size_t size) {
        return vimbo::platform::defaultFileSystemOps().read(file, buffer, std::min<std::size_t>(size, 5));
    };
    const std::string file = "proj/src/main.c";
    vimbo::engine::BatchContext context(false, vimbo::test::fileSystem());
    context.index({file, "proj/src/local.h"}, {}, 1);
    EXPECT_TRUE(vimbo::engine::DirectoryRewriter(context, {}).rewrite(file, {"inc", ""}, {}).changed);
    EXPECT_EQ(read(file), asWritten("#ifndef LOCAL_H\n#include \"local.h\"\n#endif\n") + kGuarded +
                              asWritten("int main(void) { return 0; }\n"));
}

// A header the run rewrote keeps the facts it had where the wraps left
// them true, but only as the very file the rewrite put in its place.
TEST_F(TreeMode, AHeaderRewrittenEarlierInTheRunCountsAsWhatItNowHolds) {
    for (const bool replacedSince : {false, true}) {
        SCOPED_TRACE(replacedSince);
        write("proj/k/0.h", "#include <a.h>\n");  // rewritten first, so the header takes its file
        write("proj/k/h.h", "#ifndef H_H\n#define H_H\n#include <a.h>\n#endif\n");
        write("proj/k/x.c", "#include \"h.h\"\n");
        vimbo::engine::BatchContext context(false, vimbo::test::fileSystem());
        context.index({"proj/k/0.h", "proj/k/h.h", "proj/k/x.c"}, {}, 1);
        vimbo::engine::DirectoryRewriter directory(context, {});
        for (const char* file : {"proj/k/0.h", "proj/k/h.h"}) ASSERT_TRUE(directory.rewrite(file, {"inc", ""}, {}).changed);
        if (replacedSince) {
            write("proj/k/saved", "#ifndef Q_H\n#define Q_H\n#endif\n");
            fs::rename(root() / "proj/k/saved", root() / "proj/k/h.h");
        }
        EXPECT_TRUE(directory.rewrite("proj/k/x.c", {"inc", ""}, {}).changed);
        EXPECT_EQ(read("proj/k/x.c"), asWritten(replacedSince ? "#ifndef Q_H\n#include \"h.h\"\n#endif\n"
                                                               : "#ifndef H_H\n#include \"h.h\"\n#endif\n"));
    }
}

// Files go in place a batch at a time, and a job's batch holds several
// directories; what is said of them still follows the list.
TEST_F(TreeMode, ResultsFollowTheListWhateverOrderFilesAreRewrittenIn) {
    write("proj/s/a.c", "#include <a.h>\nint the_largest;\n");
    write("proj/s/b.c", "#include <a.h>\n");
    const auto run = engineRun({"proj/s"}).jobs(1).include("inc").tree().run();
    EXPECT_EQ(run.findings,
              "proj/s/a.c:1: #include <a.h> was wrapped in A_H\nproj/s/b.c:1: #include <a.h> was wrapped in A_H\n");
    EXPECT_EQ(run.summaries, "vimbo: 2 files examined, 2 rewritten, 0 skipped, 0 failed\n");
}

#ifndef _WIN32
// The run's read of every file tells which have several hard links; one it
// can't read has them counted all the same (the walk left both to it).
TEST_F(TreeMode, TheRunLeavesOutFilesWithHardLinksEvenUnread) {
    fs::create_hard_link(root() / "proj/src/none.c", root() / "proj/twin.c");
    fs::create_hard_link(root() / "proj/src/upper.H", root() / "proj/twin.h");
    vimbo::test::fileSystem().xOpenRead = [](const vimbo::platform::FileSystemOps&, const std::string& path,
                                             const vimbo::platform::FileIdentity* known) {
        return path == "proj/src/upper.H" ? vimbo::platform::kNoFile
                                          : vimbo::platform::defaultFileSystemOps().openRead(path, known);
    };
    vimbo::engine::BatchContext context(true, vimbo::test::fileSystem());
    const auto linked = context.index({"proj/src/main.c", "proj/src/none.c", "proj/src/upper.H"}, {}, 2, true);
    EXPECT_EQ(linked, (std::vector<std::pair<std::string, std::uint64_t>>{{"proj/src/none.c", 2},
                                                                          {"proj/src/upper.H", 2}}));
}
#endif

// A dry run keeps a rewritten file as its edits against the file on disk:
// once that file changes, its new text is unknown, and no text is made up.
TEST_F(TreeMode, ADryRunKnowsWhenTheFileOnDiskChanged) {
    std::string large = read("proj/src/upper.H");
    for (int i = 0; i < 100; ++i) large += "int filler" + std::to_string(i) + ";\n";
    // With the line endings a rewrite writes, as a real file would have them.
    large = vimbo::test::asWritten(large);
    write("proj/src/large.h", large);
    vimbo::engine::BatchContext context(true, vimbo::test::fileSystem());
    vimbo::engine::DirectoryRewriter directory(context, {});
    ASSERT_TRUE(directory.rewrite("proj/src/large.h", {"inc", ""}, {}).changed);
    const std::optional<std::string> text = context.written("proj/src/large.h");
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(*text, large);
    EXPECT_EQ(read("proj/src/large.h"), large);
    write("proj/src/large.h", large + "int late;\n");
    EXPECT_FALSE(context.written("proj/src/large.h").has_value());
}

TEST_F(TreeMode, ExtensionsCanBeReplaced) {
    auto run = engineRun({"proj"}).include("inc").check().tree();
    run.settings.extensions = {".cc", ".INL"};
    EXPECT_EQ(run.run().shownFiles, (std::vector<std::string>{"proj/ext/cc.cc", "proj/ext/inl.inl"}));
}

// The command's count of files done is for a terminal only.
TEST_F(TreeMode, NoProgressWhenStandardErrorIsNoTerminal) {
    auto o = runVimbo({"-i", "inc", "--tree", "proj"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.find(" of 14 files"), std::string::npos) << o.err;
}

// -j takes a number of jobs from 1 up.
TEST_F(TreeMode, JobsMustBeANumber) {
    EXPECT_EQ(runVimbo({"-j", "0", "--tree", "proj"}).status, 2);
    EXPECT_EQ(runVimbo({"-jx", "--tree", "proj"}).status, 2);
}

TEST_F(TreeMode, ExitStatuses) {
    EXPECT_EQ(runVimbo({"-i", "inc", "--check", "proj/src/none.c"}).status, 0);
    EXPECT_EQ(runVimbo({"-i", "inc", "--check", "proj/src/upper.H"}).status, 1);
    EXPECT_EQ(runVimbo({"--check", "missing.c"}).status, 2);
    EXPECT_EQ(runVimbo({"--check", "--tree", "missing"}).status, 2);
    EXPECT_EQ(runVimbo({"--tree", "missing"}).status, 2) << "a missing path is an error before anything is written";
    EXPECT_EQ(runVimbo({"--tree"}).status, 2);
    EXPECT_EQ(runVimbo({"--tree", "-t", "x"}).status, 2);
    EXPECT_EQ(runVimbo({"--check", "--ext", "c", "proj/src/main.c"}).status, 2);
    // A scratch file a run cut short left, with text of its own, stays and
    // is named; the run goes on, and its status says something is left.
    write("proj/ext/$vb$tmp$.$$$", "left over\n");
    auto check = runVimbo({"-i", "inc", "--check", "--tree", "proj/ext"});
    EXPECT_EQ(check.status, 2);
    EXPECT_NE(check.err.find("proj/ext/$vb$tmp$.$$$: a scratch file that a run cut short left"), std::string::npos)
        << check.err;
    EXPECT_EQ(runVimbo({"-i", "inc", "--tree", "proj/ext"}).status, 1);
    EXPECT_EQ(read("proj/ext/$vb$tmp$.$$$"), "left over\n");
    // One that holds nothing but a file's old text goes, with a note.
    write("proj/ext/$vb$tmp$.7", read("proj/ext/c.c"));
    auto again = runVimbo({"-i", "inc", "--tree", "proj/ext"});
    EXPECT_EQ(again.status, 1) << "the other one stays";
    EXPECT_NE(again.err.find("note: proj/ext/$vb$tmp$.7: a scratch file that a run cut short left, with the old "
                             "text of proj/ext/c.c"),
              std::string::npos)
        << again.err;
    EXPECT_FALSE(fs::exists(root() / "proj/ext/$vb$tmp$.7"));
}

}  // namespace
