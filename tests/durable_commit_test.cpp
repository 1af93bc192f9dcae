// Putting files in place: another writer's version always wins, nothing is
// written through a directory swapped for a link, nothing is put in place
// that is not on disk, old versions are written over only once their swaps
// are, and what a run cut short left is told apart from what it must keep.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "platform/file_system.h"
#include "rewrite/leftover_scratch.h"
#include "rewrite/processor.h"
#include "support/command_run.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"
#include "vimbo/engine/file_rewriter.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace vimbo::rewrite;

namespace {

namespace fs = vimbo::test::fs;
using vimbo::engine::Failure;
using vimbo::platform::FileSystemOps;
using vimbo::test::asWritten;
using vimbo::test::fileSystem;
using vimbo::test::runVimbo;

const std::string kSource = "#include <a.h>\nint x;\n";
const std::string kRewritten = asWritten("#ifndef A_H\n#include <a.h>\n#endif\nint x;\n");

bool anyScratchIn(const fs::path& directory) {
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().filename().string().rfind("$vb$", 0) == 0) return true;
    return false;
}

class DurableCommit : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("proj/src/main.c", kSource);
        write("outside/main.c", "outside\n");
    }
    // One file rewritten by a run of its own, as a tree run would.
    vimbo::engine::FileOutcome rewriteOne(const std::string& file, bool expectDirectory = false) {
        vimbo::engine::BatchContext context(false, fileSystem());
        if (expectDirectory) {
            vimbo::engine::DirectoryIdentity identity;
            EXPECT_TRUE(vimbo::engine::directoryIdentity("proj/src", identity));
            context.expectDirectory("proj/src", identity);
        }
        context.index({file}, {}, 1);
        if (beforeRewrite) beforeRewrite();
        return vimbo::engine::DirectoryRewriter(context, {}).rewrite(file, {"inc", ""}, {});
    }
    std::function<void()> beforeRewrite;
};

#ifdef __linux__
// What another program does in the moment before the swap.
namespace other {
decltype(FileSystemOps::xExchange) realExchange;
std::function<void()> act;
}  // namespace other

void writeInPlace() {
    std::ofstream out("proj/src/main.c", std::ios::binary | std::ios::trunc);
    out << "saved in place\n";
}

void saveByRename() {
    vimbo::test::writeFile("proj/src/saved", "saved by rename\n");
    fs::rename("proj/src/saved", "proj/src/main.c");
}

void swapDirectoryForLink() {
    fs::rename("proj/src", "proj/moved");
    fs::create_directory_symlink(fs::absolute("outside"), "proj/src");
}

TEST_F(DurableCommit, AnotherWritersVersionStaysAndNothingIsWrittenThroughALink) {
    struct Case {
        const char* name;
        void (*act)();
        Failure failure;
        const char* file;  // where the file is afterwards ("" when nowhere)
        std::string holds;
    } cases[] = {
        {"written in place", writeInPlace, Failure::changedDuringRun, "proj/src/main.c", "saved in place\n"},
        {"saved by rename", saveByRename, Failure::changedDuringRun, "proj/src/main.c", "saved by rename\n"},
        {"deleted", [] { fs::remove("proj/src/main.c"); }, Failure::changedDuringRun, "", ""},
        // The directory held is the one written in, wherever it is now.
        {"directory swapped for a link", swapDirectoryForLink, Failure::none, "proj/moved/main.c", kRewritten},
    };
    other::realExchange = fileSystem().xExchange;
    fileSystem().xExchange = [](const FileSystemOps& self, const std::string& a, const std::string& b) {
        if (other::act) std::exchange(other::act, nullptr)();
        return other::realExchange(self, a, b);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "proj");
        fs::remove(root() / "proj/src");
        write("proj/src/main.c", kSource);
        other::act = c.act;
        const vimbo::engine::FileOutcome outcome = rewriteOne("proj/src/main.c");
        EXPECT_EQ(outcome.failure, c.failure);
        if (c.failure == Failure::changedDuringRun) {
            EXPECT_EQ(outcome.message,
                      "Error: can't replace proj/src/main.c: it changed during the run; left as saved.");
        }
        if (*c.file) {
            EXPECT_EQ(read(c.file), c.holds);
        } else {
            EXPECT_FALSE(exists("proj/src/main.c")) << "a file deleted meanwhile does not come back";
        }
        EXPECT_EQ(read("outside/main.c"), "outside\n");
        EXPECT_FALSE(anyScratchIn(root() / "outside"));
        EXPECT_FALSE(anyScratchIn(fs::is_symlink(root() / "proj/src") ? root() / "proj/moved" : root() / "proj/src"));
    }
}

// An editor saving in the moment after the swap: the version noted for
// --verify's undo is the run's own, never the editor's, so that putting the
// original back leaves the editor's text where it is.
namespace after {
decltype(FileSystemOps::xExchange) realExchange;
std::function<void()> act;
}  // namespace after

TEST_F(DurableCommit, AVersionSavedJustAfterTheSwapIsNeverPutBackOver) {
    struct Case {
        const char* name;
        void (*act)();
        const char* holds;
    } cases[] = {
        {"saved by rename", saveByRename, "saved by rename\n"},
        {"written in place", writeInPlace, "saved in place\n"},
    };
    after::realExchange = fileSystem().xExchange;
    fileSystem().xExchange = [](const FileSystemOps& self, const std::string& a, const std::string& b) {
        const vimbo::platform::Exchange done = after::realExchange(self, a, b);
        if (after::act) std::exchange(after::act, nullptr)();
        return done;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root() / "proj");
        write("proj/src/main.c", kSource);
        write("proj/kept", kSource);
        vimbo::engine::DirectoryIdentity identity;
        ASSERT_TRUE(vimbo::engine::directoryIdentity("proj/src", identity));
        vimbo::engine::BatchContext context(false, fileSystem());
        context.index({"proj/src/main.c"}, {}, 1);
        vimbo::engine::RewriteSettings settings;
        settings.noteVersions = true;
        after::act = c.act;
        const vimbo::engine::FileOutcome outcome =
            vimbo::engine::DirectoryRewriter(context, settings).rewrite("proj/src/main.c", {"inc", ""}, {});
        EXPECT_EQ(outcome.failure, Failure::none);
        EXPECT_EQ(vimbo::engine::putBack("proj/src/main.c", "proj/kept", outcome.written, identity),
                  vimbo::engine::PutBack::changed);
        EXPECT_EQ(read("proj/src/main.c"), c.holds);
        EXPECT_EQ(read("proj/kept"), kSource);
    }
}

// A directory swapped for a link between the walk and its rewrite is not
// the directory the walk saw: nothing is written there at all.
TEST_F(DurableCommit, ADirectorySwappedAfterTheWalkIsLeftAlone) {
    write("outside/main.c", kSource);
    beforeRewrite = swapDirectoryForLink;
    const vimbo::engine::FileOutcome outcome = rewriteOne("proj/src/main.c", true);
    EXPECT_EQ(outcome.failure, Failure::directoryChanged);
    EXPECT_EQ(outcome.message, "Error: its directory changed during the run; left unchanged.");
    EXPECT_EQ(read("outside/main.c"), kSource);
    EXPECT_EQ(read("proj/moved/main.c"), kSource);
    EXPECT_FALSE(anyScratchIn(root() / "outside"));
}
#endif

#ifndef _WIN32
// Single-file mode holds the output's directory too: swapped for a link
// between its checks and its commit (as root, to anywhere), nothing outside
// is removed or written.
namespace swap {
decltype(FileSystemOps::xRemove) realRemove;
bool done;
}  // namespace swap

TEST_F(DurableCommit, SingleFileModeWritesOnlyWhereItsDirectoryIs) {
    write("d/u.c", kSource);
    write("outside/u.c", "outside\n");
    swap::realRemove = fileSystem().xRemove;
    swap::done = false;
    fileSystem().xRemove = [](const FileSystemOps& self, const std::string& path) {
        if (!swap::done && path == "d/u.c") {
            swap::done = true;
            fs::rename("d", "d.moved");
            fs::create_directory_symlink(fs::absolute("outside"), "d");
        }
        return swap::realRemove(self, path);
    };
    vimbo::platform::HeldDirectory held(fileSystem(), "d/", nullptr, true);
    Vimbo_Params settings("d/u.c");
    settings.setIncludePath("inc");
    RewriteOptions options = RewriteOptions::library();
    options.printMessages = false;
    Vimbo processor(&settings, options, {}, held.ops());
    EXPECT_EQ(processor.processFile(), 1);
    EXPECT_TRUE(swap::done);
    EXPECT_EQ(read("outside/u.c"), "outside\n");
    EXPECT_EQ(read("d.moved/u.c"), kRewritten);
}
#endif

// A batch is put in place only once it is on disk: where the flush fails,
// every file stays as it was and nothing of the batch is left.
TEST_F(DurableCommit, NothingIsPutInPlaceThatTheFlushDidNotPutOnDisk) {
    fileSystem().xSyncFileSystem = [](const FileSystemOps&, const std::string&) { return false; };
    fileSystem().wholeFileSystemSync = true;
    const vimbo::engine::FileOutcome outcome = rewriteOne("proj/src/main.c");
    EXPECT_EQ(outcome.failure, Failure::ioError);
    EXPECT_EQ(read("proj/src/main.c"), kSource);
    EXPECT_FALSE(anyScratchIn(root() / "proj/src"));
}

#ifndef _WIN32
// (Windows has no exchange: an old version is removed, never written over.)
// Old versions are written over for new texts, but only once the flush
// after their swap is done: until then a power cut could leave a file's name
// pointing at them.
namespace order {
decltype(FileSystemOps::xExchange) realExchange;
decltype(FileSystemOps::xSyncFileSystem) realSync;
decltype(FileSystemOps::xOpenOverwrite) realOverwrite;
unsigned flushes = 0;
std::map<std::uint64_t, unsigned> swappedAt;  // file number -> flushes before its swap
unsigned early = 0, overwritten = 0;
}  // namespace order

TEST_F(DurableCommit, OldVersionsAreWrittenOverOnlyOnceTheirSwapsAreOnDisk) {
    order::realExchange = fileSystem().xExchange;
    order::realSync = fileSystem().xSyncFileSystem;
    order::realOverwrite = fileSystem().xOpenOverwrite;
    fileSystem().xSyncFileSystem = [](const FileSystemOps& self, const std::string& path) {
        ++order::flushes;
        return order::realSync(self, path);
    };
    fileSystem().xExchange = [](const FileSystemOps& self, const std::string& a, const std::string& b) {
        const vimbo::platform::Exchange done = order::realExchange(self, a, b);
        vimbo::platform::FileIdentity away;
        if (done == vimbo::platform::Exchange::swapped && self.identityNoFollow(a, away))
            order::swappedAt[away.file] = order::flushes;
        return done;
    };
    fileSystem().xOpenOverwrite = [](const FileSystemOps& self, const std::string& path,
                                     const vimbo::platform::FileIdentity& expected) {
        ++order::overwritten;
        const auto swapped = order::swappedAt.find(expected.file);
        if (swapped == order::swappedAt.end() || swapped->second >= order::flushes) ++order::early;
        return order::realOverwrite(self, path, expected);
    };
    // Enough files for several batches, in many directories; private and
    // shared ones mixed, so that a text never lands in a file more open.
    std::vector<std::string> files;
    std::map<std::string, fs::perms> modes;
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 20; ++f) {
            const std::string file = "tree/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c";
            write(file, kSource + std::string(static_cast<std::size_t>((f * 37 + d) % 200), ' ') + "\n");
            const fs::perms mode = f % 3 == 0 ? fs::perms::owner_read | fs::perms::owner_write
                                              : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                    fs::perms::others_read;
            fs::permissions(root() / file, mode);
            modes[file] = mode;
            files.push_back(file);
        }
    std::map<std::size_t, vimbo::engine::FileOutcome> done;
    {
        vimbo::engine::BatchContext context(false, fileSystem());
        context.index(files, {}, 1);
        vimbo::engine::RewriteBatch batch(context, [&](std::size_t i, vimbo::engine::FileOutcome outcome) {
            done[i] = std::move(outcome);
        });
        for (std::size_t i = 0; i < files.size();) {
            vimbo::engine::DirectoryRewriter directory(context, {}, &batch);
            const std::string dir = fs::path(files[i]).parent_path().string();
            for (; i < files.size() && fs::path(files[i]).parent_path().string() == dir; ++i) {
                vimbo::engine::FileOutcome outcome = directory.rewrite(files[i], {"inc", ""}, {}, i);
                if (!outcome.pending) done[i] = std::move(outcome);
            }
        }
        batch.finish();
        EXPECT_TRUE(context.problems().empty());
    }
    ASSERT_EQ(done.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(done[i].failure, Failure::none) << files[i] << ": " << done[i].message;
        EXPECT_EQ(read(files[i]).substr(0, kRewritten.size() - 6), kRewritten.substr(0, kRewritten.size() - 6));
        EXPECT_EQ(fs::status(root() / files[i]).permissions() & fs::perms::mask, modes[files[i]]) << files[i];
    }
    // The first two batches' swaps are on disk only once the third is flushed.
    EXPECT_GE(order::overwritten, files.size() - 2 * 256) << "later new texts go into old versions";
    EXPECT_EQ(order::early, 0u);
    for (int d = 0; d < 40; ++d) EXPECT_FALSE(anyScratchIn(root() / ("tree/d" + std::to_string(d))));
}
#endif

// What a run cut short left under a scratch name goes only when a file
// beside it holds all of it: its old text exactly, or that text with
// guards added.
TEST(LeftoverScratch, OnlyAFilesOldTextIsTakenForOne) {
    const std::string old = "#include <a.h>\r\n#include \"b.h\"\nint x;\n";
    const std::string wrapped = "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n#ifndef B_H\n#include \"b.h\"\n#endif\nint x;\n";
    struct Case {
        const char* name;
        std::string left, current;
        bool oldText;
    } cases[] = {
        {"the file as it is", old, old, true},
        {"the file before its guards", old, wrapped, true},
        {"line numbers kept", old, "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n#line 2\r\n#include \"b.h\"\nint x;\n", true},
        {"nested guards", "#include <a.h>\n", "#ifndef A_H\n#ifndef A2_H\n#include <a.h>\n#endif\n#endif\n", true},
        {"a guard that ended the file", "int y;\n#include <a.h>", "int y;\n#ifndef A_H\n#include <a.h>\n#endif", true},
        {"the new text, not yet in place", wrapped, old, false},
        {"cut short", old.substr(0, 20), wrapped, false},
        {"text the file lacks", old + "int lost;\n", wrapped, false},
        {"a test that guards code, not an include", "int a;\n", "#ifndef A_H\nint a;\n#endif\n", false},
        {"another line ending", "#include <a.h>\n", "#include <a.h>\r\n", false},
    };
    for (const Case& c : cases) EXPECT_EQ(oldTextOf(c.left, c.current), c.oldText) << c.name;
}

class LeftoversBesideNamedFiles : public vimbo::test::TempDirTest {};

// Files named on the command line, or the sources of a build's database,
// are no walk's: what runs cut short left beside them is looked at all the
// same, and scratch text no file holds is named and stays.
TEST_F(LeftoversBesideNamedFiles, AreToldOfAsInAWalk) {
    const std::string source = "#include <a.h>\n#include <a.h>\nint main(void) { return 0; }\n";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        bool needsCompiler;
    } cases[] = {
        {"named, checked", {"-i", "inc", "--check", "src/m.c"}, 2, false},
        {"named in a tree run", {"-i", "inc", "--tree", "src/m.c"}, 1, false},
        {"the build's sources", {"-p", "build", "--tree"}, 1, true},
        {"the build's sources, checked", {"-p", "build", "--check"}, 2, true},
    };
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("build/compile_commands.json", "[{\"directory\": \"" + root().string() +
                                             "\", \"file\": \"src/m.c\", \"command\": \"cc -Iinc -c src/m.c\"}]");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsCompiler && !vimbo::test::compilerAvailable()) continue;
        write("src/m.c", source);
        write("src/$vb$tmp$.1", "text of its own\n");
        write("src/$vb$tmp$.$$$", source);  // the file's old text: it goes with a rewrite
        const auto run = runVimbo(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find("vimbo: src/$vb$tmp$.1: a scratch file that a run cut short left, with text no file "
                               "beside it has; it stays: look at what it holds, then remove it\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(read("src/$vb$tmp$.1"), "text of its own\n");
    }
}

class BackupsAcrossRuns : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("u.c", "#include <a.h>\nint c;\n");
        write("u.h", "#include <a.h>\nint h;\n");
    }
};

// u.c and u.h share u.Bak: a later run over the other one keeps it, in
// batch runs and in single-file mode, where the name stays the library's.
TEST_F(BackupsAcrossRuns, ABackupOfAnotherInputIsKept) {
    ASSERT_EQ(runVimbo({"-b", "-i", "inc", "--tree", "u.c"}).status, 0);
    const std::string backup = read("u.Bak");
    ASSERT_EQ(backup, asWritten("#include <a.h>\nint c;\n"));
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string output;  // where the refusal is said
    } runs[] = {
        {"batch", {"-b", "-i", "inc", "--tree", "u.h"}, "err"},
        {"single file", {"--quiet", "-b", "-i", "inc", "u.h"}, "out"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        const vimbo::test::CommandOutcome outcome = runVimbo(run.arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE((run.output == "err" ? outcome.err : outcome.out)
                      .find("Error: the backup u.Bak holds the old text of u.c already; left unchanged."),
                  std::string::npos)
            << outcome.out << outcome.err;
        EXPECT_EQ(read("u.Bak"), backup);
        EXPECT_EQ(read("u.h"), "#include <a.h>\nint h;\n");
    }
    // Its own backup, from a run cut short, is taken again.
    write("u.c", "#include <a.h>\nint c;\n");
    EXPECT_EQ(runVimbo({"-b", "-i", "inc", "--tree", "u.c"}).status, 0);
    // With no other input of the name, a backup is replaced as before.
    fs::remove(root() / "u.h");
    write("u.c", "#include <a.h>\nint edited;\n");
    EXPECT_EQ(runVimbo({"-b", "-i", "inc", "--tree", "u.c"}).status, 0);
    EXPECT_EQ(read("u.Bak"), asWritten("#include <a.h>\nint edited;\n"));
}

#ifndef _WIN32
// An OUTPUT that is a pipe or a device is never removed for a file.
TEST_F(DurableCommit, AnOutputThatIsNoRegularFileIsRefused) {
    ASSERT_EQ(::mkfifo((root() / "out.fifo").c_str(), 0600), 0);
    write("main.c", kSource);
    const vimbo::test::FileRun run = vimbo::test::runFileMode("main.c", "inc", false, "out.fifo");
    EXPECT_EQ(run.printed, "Error: output file is not a regular file; left unchanged.\n");
    struct stat info {};
    ASSERT_EQ(::lstat((root() / "out.fifo").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(read("main.c"), kSource);
}
#endif

// Two runs over one tree at once: each directory is one run's at a time,
// so every file ends rewritten once, whole, and nothing is left behind.
TEST_F(DurableCommit, TwoRunsAtOnceLeaveEveryFileRewrittenOnce) {
    for (int d = 0; d < 8; ++d)
        for (int f = 0; f < 30; ++f) write("pair/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c", kSource);
    vimbo::test::CommandOutcome first, second;
    std::thread other([&] { first = runVimbo({"-j", "2", "-i", "inc", "--tree", "pair"}); });
    second = runVimbo({"-j", "2", "-i", "inc", "--tree", "pair"});
    other.join();
    for (const auto* run : {&first, &second}) EXPECT_LE(run->status, 1) << run->err;
    for (int d = 0; d < 8; ++d) {
        for (int f = 0; f < 30; ++f)
            EXPECT_EQ(read("pair/d" + std::to_string(d) + "/f" + std::to_string(f) + ".c"), kRewritten);
        EXPECT_FALSE(anyScratchIn(root() / ("pair/d" + std::to_string(d))));
    }
}

#ifndef _WIN32
// A program that keeps a file open through a run (an editor, a build
// reading it) keeps its old version: it never becomes another file.
TEST_F(DurableCommit, AFileHeldOpenKeepsItsOldVersion) {
    for (int f = 0; f < 700; ++f) write("many/f" + std::to_string(f) + ".c", "/* " + std::to_string(f) + " */\n" + kSource);
    std::FILE* held = std::fopen((root() / "many/f0.c").c_str(), "r+");
    ASSERT_NE(held, nullptr);
    const auto run = runVimbo({"-j", "1", "-i", "inc", "--tree", "many"});
    EXPECT_EQ(run.status, 0) << run.err;
    char text[256] = {};
    std::rewind(held);
    const std::size_t got = std::fread(text, 1, sizeof text - 1, held);
    std::fclose(held);
    EXPECT_EQ(std::string(text, got), "/* 0 */\n" + kSource);
    for (int f = 0; f < 700; ++f)
        EXPECT_EQ(read("many/f" + std::to_string(f) + ".c"), asWritten("/* " + std::to_string(f) + " */\n") + kRewritten);
}

// A name with a backslash is one name here, not a path that leads out of
// the tree (src/..\\..\\out\\victim.h): it is skipped, never followed.
TEST_F(DurableCommit, ANameWithABackslashLeadsNowhere) {
    write("out/victim.h", kSource);
    write("tree/src/..\\..\\out\\victim.h", kSource);
    const auto run = runVimbo({"-b", "-i", "inc", "--tree", "tree/src"});
    EXPECT_NE(run.err.find("skipped (a name with \\"), std::string::npos) << run.err;
    EXPECT_EQ(read("out/victim.h"), kSource);
    EXPECT_FALSE(exists("out/victim.Bak"));
    EXPECT_FALSE(anyScratchIn(root() / "out"));
}
#endif

// Backups wait beside their files with the batch: a directory of many files
// has a name for each.
TEST_F(BackupsAcrossRuns, EveryFileOfALargeDirectoryGetsItsBackup) {
    for (int f = 0; f < 300; ++f) write("big/f" + std::to_string(f) + ".c", kSource);
    const auto run = runVimbo({"-b", "-i", "inc", "--tree", "big"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (int f = 0; f < 300; ++f) EXPECT_EQ(read("big/f" + std::to_string(f) + ".Bak"), asWritten(kSource));
}

#ifndef _WIN32
// A scratch file that can't be removed is said, and the run fails (where
// the old version is swapped aside; Windows replaces it in one step).
TEST_F(DurableCommit, AScratchFileThatCannotBeRemovedIsReported) {
    fileSystem().xRemove = [](const FileSystemOps& self, const std::string& path) {
        return path.find("$vb$tmp$") == std::string::npos && vimbo::platform::defaultFileSystemOps().xRemove(self, path);
    };
    std::vector<std::string> problems;
    {
        vimbo::engine::BatchContext context(false, fileSystem());
        context.index({"proj/src/main.c"}, {}, 1);
        EXPECT_EQ(vimbo::engine::DirectoryRewriter(context, {}).rewrite("proj/src/main.c", {"inc", ""}, {}).failure,
                  Failure::none);
        problems = context.problems();
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "proj/src/$vb$tmp$.$$$: can't remove this scratch file (the old text of proj/src/main.c); "
                           "remove it yourself");
    EXPECT_EQ(read("proj/src/$vb$tmp$.$$$"), kSource);
}
#endif

}  // namespace
