// The operations table on this platform's real file system: the same
// answers on POSIX and on Win32.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace {

using vimbo::test::fileSystem;
using vimbo::platform::kNoFile;

class FileSystemOps : public vimbo::test::TempDirTest {};

TEST_F(FileSystemOps, ExistenceCountsDirectoriesAndTakesBackslashes) {
    write("dir/f.h", "x");
    EXPECT_TRUE(fileSystem().exists("dir"));
    EXPECT_TRUE(fileSystem().exists("dir\\f.h"));
    EXPECT_TRUE(fileSystem().exists(".\\dir\\f.h"));
    EXPECT_FALSE(fileSystem().exists("dir\\g.h"));
    EXPECT_FALSE(fileSystem().exists(""));
}

// Directories resolved once must give the very names a whole resolution
// gives, links and missing parts included.
TEST_F(FileSystemOps, CanonicalPathsOfManyFilesAgreeWithOneByOne) {
    write("real/f.h", "x");
    write("real/sub/g.h", "x");
    std::error_code error;
    vimbo::test::fs::create_directory_symlink(root() / "real", root() / "alias", error);
    vimbo::test::fs::create_symlink(root() / "real" / "f.h", root() / "real" / "link.h", error);
    vimbo::platform::CanonicalPaths paths;
    for (const char* path : {"real/f.h", "./real/f.h", "real\\sub\\g.h", "alias/f.h", "alias/sub/g.h", "real/link.h",
                             "real/sub/../f.h", "real/missing.h", "missing/dir/x.h", "real/sub/..", "real/."}) {
        for (int twice = 0; twice < 2; ++twice)
            EXPECT_EQ(paths.of(path), vimbo::platform::canonicalPath(path)) << path;
    }
}

TEST_F(FileSystemOps, RenameNeverReplacesAnExistingFile) {
    write("from.txt", "new");
    write("to.txt", "old");
    EXPECT_FALSE(fileSystem().rename("from.txt", "to.txt"));
    EXPECT_EQ(read("to.txt"), "old");
    EXPECT_EQ(read("from.txt"), "new");
    EXPECT_TRUE(fileSystem().rename("from.txt", "dir\\moved.txt") == false) << "no such directory";
    vimbo::test::fs::create_directories(root() / "dir");
    EXPECT_TRUE(fileSystem().rename("from.txt", "dir\\moved.txt"));
    EXPECT_EQ(read("dir/moved.txt"), "new");
    EXPECT_FALSE(exists("from.txt"));
}

TEST_F(FileSystemOps, RemoveTakesFilesOnly) {
    write("dir/f.txt", "x");
    write("empty/.keep", "");
    vimbo::test::fs::remove(root() / "empty/.keep");
    EXPECT_FALSE(fileSystem().remove("empty"));
    EXPECT_TRUE(exists("empty"));
    EXPECT_FALSE(fileSystem().remove("missing"));
    EXPECT_TRUE(fileSystem().remove("dir\\f.txt"));
    EXPECT_FALSE(exists("dir/f.txt"));
}

TEST_F(FileSystemOps, SameFileByIdentity) {
    write("dir/f.txt", "x");
    write("g.txt", "x");
    EXPECT_TRUE(fileSystem().sameFile("dir/f.txt", ".\\dir\\..\\dir\\f.txt"));
    EXPECT_FALSE(fileSystem().sameFile("dir/f.txt", "g.txt"));
    EXPECT_FALSE(fileSystem().sameFile("dir/f.txt", "missing"));
}

TEST_F(FileSystemOps, OnlyRegularFilesOpenAndNewFilesAreNew) {
    write("f.txt", "x");
    vimbo::test::fs::create_directories(root() / "dir");
    EXPECT_EQ(fileSystem().openRead("dir"), kNoFile);
    EXPECT_EQ(fileSystem().createNew("f.txt"), kNoFile);
    EXPECT_EQ(fileSystem().createNew("dir"), kNoFile);
    EXPECT_EQ(fileSystem().createTruncate("dir"), kNoFile);
    auto file = fileSystem().openRead("f.txt");
    ASSERT_NE(file, kNoFile);
    char buffer[4];
    EXPECT_EQ(fileSystem().read(file, buffer, sizeof buffer), 1);
    EXPECT_EQ(fileSystem().read(file, buffer, sizeof buffer), 0);
    EXPECT_TRUE(fileSystem().close(file));
}

// A file opened to be written anew holds exactly what was written once it
// is closed, whatever it held before, however the platform gets there.
TEST_F(FileSystemOps, AFileWrittenAnewHoldsOnlyTheNewText) {
    const struct {
        const char *before, *written;
    } cases[] = {{"a much longer old text\n", "new\n"}, {"old\n", "a longer new text\n"}, {"old\n", ""}, {"", "x"}};
    for (const auto& c : cases) {
        write("f.txt", c.before);
        auto file = fileSystem().createTruncate("f.txt");
        ASSERT_NE(file, kNoFile);
        EXPECT_TRUE(fileSystem().write(file, c.written, std::string(c.written).size()));
        // A file opened meanwhile and closed is not cut.
        auto other = fileSystem().openRead("f.txt");
        EXPECT_TRUE(fileSystem().close(other));
        EXPECT_TRUE(fileSystem().close(file));
        EXPECT_EQ(read("f.txt"), c.written) << c.before;
    }
}

// The scratch file kept from one rewrite is written over by the next only
// while it is the very file kept, with no other name: anything put there
// meanwhile is left as it is, and nothing is made where it has gone.
TEST_F(FileSystemOps, OnlyTheFileExpectedIsWrittenOver) {
    namespace fs = vimbo::test::fs;
    const struct {
        const char* change;
        bool opened;
    } cases[] = {{"", true}, {"replaced", false}, {"second name", false}, {"removed", false}, {"link", false}};
    for (const auto& c : cases) {
        fs::remove_all(root() / "d");
        write("d/f.txt", "kept\n");
        vimbo::platform::FileIdentity kept;
        ASSERT_TRUE(fileSystem().identity("d/f.txt", kept));
        const std::string change = c.change;
        if (change == "replaced") {
            write("d/g.txt", "theirs\n");
            fs::rename(root() / "d/g.txt", root() / "d/f.txt");
        } else if (change == "second name") {
            fs::create_hard_link(root() / "d/f.txt", root() / "d/g.txt");
        } else if (change == "removed") {
            fs::remove(root() / "d/f.txt");
        } else if (change == "link") {
#ifdef _WIN32
            continue;
#endif
            fs::rename(root() / "d/f.txt", root() / "d/g.txt");
            fs::create_symlink("g.txt", root() / "d/f.txt");
        }
        const std::string before = exists("d/f.txt") ? read("d/f.txt") : "(none)";
        auto file = fileSystem().createTruncate("d/f.txt", &kept);
        EXPECT_EQ(file != kNoFile, c.opened) << change;
        if (file == kNoFile) {
            EXPECT_EQ(exists("d/f.txt") ? read("d/f.txt") : "(none)", before) << change;
            continue;
        }
        EXPECT_TRUE(fileSystem().write(file, "new\n", 4));
        EXPECT_TRUE(fileSystem().close(file));
        EXPECT_EQ(read("d/f.txt"), "new\n");
    }
}

// A file opened to be written anew is empty from the open on: a reader
// between the open and the first write finds no old text in it.
TEST_F(FileSystemOps, AFileWrittenAnewIsEmptyFromTheOpen) {
    const struct {
        bool present;        // else no file there yet
        std::string before;  // what it held
        bool expected;       // opened as the very file looked at
    } cases[] = {{false, "", false},
                 {true, "", false},
                 {true, "old text\n", false},
                 {true, "old text\n", true},
                 {true, std::string(70000, 'x'), false}};
    for (const auto& c : cases) {
        const std::string& before = c.before;
        vimbo::test::fs::remove(root() / "f.txt");
        if (c.present) write("f.txt", before);
        vimbo::platform::FileIdentity kept;
        ASSERT_EQ(fileSystem().identity("f.txt", kept), c.present);
        const auto file = fileSystem().createTruncate("f.txt", c.expected ? &kept : nullptr);
        ASSERT_NE(file, kNoFile) << before.size();
        EXPECT_EQ(read("f.txt"), "") << before.size();
        vimbo::platform::FileIdentity open;
        EXPECT_TRUE(fileSystem().handleIdentity(file, open));
        EXPECT_EQ(open.size, 0u) << before.size();
        EXPECT_TRUE(fileSystem().close(file));
        EXPECT_EQ(read("f.txt"), "") << before.size();
    }
}

// A handle may be opened on one thread and used, asked about and closed on
// another (a reader handed over to a worker): each answer is about that
// handle's own file, whatever was opened and closed on either thread before.
TEST_F(FileSystemOps, HandlesWorkAcrossThreads) {
    enum class Op { openRead, createTruncate, read, write, identity, close };
    struct Step {
        bool there;  // on another thread, else on the test's own
        Op op;
        const char* name;  // the file opened, or the one the handle stands for
        const char* text;  // written, or expected to be read
    };
    const struct {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"opened here, asked and read there",
         {{false, Op::openRead, "a.txt", ""}, {true, Op::identity, "a.txt", ""}, {true, Op::read, "a.txt", "alpha\n"},
          {false, Op::close, "a.txt", ""}}},
        {"closed there, the next file opened there asked here",
         {{false, Op::openRead, "a.txt", ""}, {true, Op::close, "a.txt", ""}, {true, Op::openRead, "b.txt", ""},
          {false, Op::identity, "b.txt", ""}, {false, Op::read, "b.txt", "a longer beta\n"},
          {true, Op::close, "b.txt", ""}}},
        {"read there, asked here",
         {{false, Op::openRead, "b.txt", ""}, {true, Op::read, "b.txt", "a longer beta\n"},
          {false, Op::identity, "b.txt", ""}, {true, Op::close, "b.txt", ""}}},
        {"written there, asked and closed here",
         {{false, Op::createTruncate, "c.txt", ""}, {true, Op::write, "c.txt", "gamma\n"},
          {false, Op::identity, "c.txt", ""}, {true, Op::write, "c.txt", "delta\n"},
          {false, Op::close, "c.txt", ""}}},
        {"closed there, the file created there next asked here",
         {{false, Op::openRead, "a.txt", ""}, {true, Op::close, "a.txt", ""}, {true, Op::createTruncate, "c.txt", ""},
          {true, Op::write, "c.txt", "gamma\n"}, {false, Op::identity, "c.txt", ""}, {false, Op::close, "c.txt", ""}}},
        {"two open here, one asked there after the other closed there",
         {{false, Op::openRead, "a.txt", ""}, {false, Op::openRead, "b.txt", ""}, {true, Op::close, "b.txt", ""},
          {true, Op::identity, "a.txt", ""}, {false, Op::read, "a.txt", "alpha\n"},
          {false, Op::close, "a.txt", ""}}},
    };
    for (const auto& c : cases) {
        write("a.txt", "alpha\n");
        write("b.txt", "a longer beta\n");
        write("c.txt", "old text to be cut\n");
        std::map<std::string, vimbo::platform::FileHandle> handles;
        std::string written;
        for (const Step& step : c.steps) {
            auto run = [&] {
                auto& file = handles[step.name];
                switch (step.op) {
                case Op::openRead:
                    file = fileSystem().openRead(step.name);
                    EXPECT_NE(file, kNoFile) << c.what;
                    break;
                case Op::createTruncate:
                    file = fileSystem().createTruncate(step.name);
                    EXPECT_NE(file, kNoFile) << c.what;
                    break;
                case Op::read: {
                    std::string bytes(64, '\0');
                    const auto got = fileSystem().read(file, &bytes[0], bytes.size());
                    EXPECT_EQ(bytes.substr(0, got < 0 ? 0 : static_cast<std::size_t>(got)), step.text) << c.what;
                    break;
                }
                case Op::write:
                    EXPECT_TRUE(fileSystem().write(file, step.text, std::string(step.text).size())) << c.what;
                    written += step.text;
                    break;
                case Op::identity: {
                    vimbo::platform::FileIdentity open, named;
                    EXPECT_TRUE(fileSystem().handleIdentity(file, open)) << c.what;
                    EXPECT_TRUE(fileSystem().identity(step.name, named)) << c.what;
                    EXPECT_TRUE(open == named) << c.what << ": " << step.name;
                    EXPECT_EQ(open.size, named.size) << c.what << ": " << step.name;
                    break;
                }
                case Op::close:
                    EXPECT_TRUE(fileSystem().close(file)) << c.what;
                    file = kNoFile;
                    break;
                }
            };
            if (step.there) std::thread(run).join();
            else run();
        }
        EXPECT_EQ(read("a.txt"), "alpha\n") << c.what;
        EXPECT_EQ(read("b.txt"), "a longer beta\n") << c.what;
        if (!written.empty()) {
            EXPECT_EQ(read("c.txt"), written) << c.what;
        }
    }
}

}  // namespace

#ifndef _WIN32
#include <sys/stat.h>

#include "vimbo/engine/child_process.h"
#include "vimbo/engine/interruption.h"

namespace {

using vimbo::platform::ChildProcess;
using vimbo::platform::runChild;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// What children print may be private (a preprocessed source): it goes to
// files and directories of this user's alone, made anew.
TEST_F(FileSystemOps, ChildrenWriteOnlyWhereNobodyElseCan) {
    const std::string place = vimbo::platform::makePrivateDirectory(root().string(), "units-");
    ASSERT_NE(place, "");
    EXPECT_EQ(modeOf(place), 0700u);
    const std::string output = place + "/out";
    const auto echoed = runChild({{"printf", "%s", "text"}, "", "", output});
    EXPECT_EQ(echoed.status, 0);
    EXPECT_EQ(read(vimbo::test::fs::relative(output, root()).string()), "text");
    EXPECT_EQ(modeOf(output), 0600u);
    EXPECT_FALSE(runChild({{"printf", "again"}, "", "", output}).started) << "an output file is never reused";
}

TEST_F(FileSystemOps, ChildrenRunAsAskedAndTheirEndIsTold) {
    std::string big(3 << 20, 'x');  // more than any pipe holds: input and output must flow together
    const auto copied = runChild({{"cat"}, "", big, "", big.size()});
    EXPECT_EQ(copied.output.size(), big.size());
    EXPECT_EQ(runChild({{"cat"}, "", big, ""}).output.size(), std::size_t{1} << 20) << "at most what is kept";
    EXPECT_EQ(runChild({{"sh", "-c", "exit 3"}, "", "", ""}).status, 3);
    EXPECT_EQ(runChild({{"sh", "-c", "kill -TERM $$"}, "", "", ""}).signal, SIGTERM);
    EXPECT_EQ(runChild({{"pwd"}, root().string() + "/..", "", ""}).output,
              root().parent_path().string() + "\n") << "it runs where it is told";
    const auto missing = runChild({{"no-such-program-anywhere"}, "", "", ""});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(runChild({{"head", "-c", "1"}, "", big, ""}).output, "x") << "a child that stops reading early";
    // Variables set for it go over the inherited ones; the rest come along.
    vimbo::test::ScopedEnv inherited("VIMBO_INHERITED", "kept");
    vimbo::test::ScopedEnv replaced("VIMBO_REPLACED", "old");
    vimbo::platform::ChildProcess show{{"sh", "-c", "printf '%s %s %s' \"$VIMBO_INHERITED\" \"$VIMBO_REPLACED\" \"$VIMBO_NEW\""},
                                       "", "", ""};
    EXPECT_EQ(runChild(show).output, "kept old ");
    show.environment = {"VIMBO_REPLACED=new", "VIMBO_NEW=added"};
    EXPECT_EQ(runChild(show).output, "kept new added");
}

// A run ignores SIGPIPE (a closed output ends it cleanly) and holds it back
// while it feeds a child; the child gets the signal as any program would.
TEST_F(FileSystemOps, ChildrenOfAnInterruptibleRunGetSigpipe) {
    vimbo::platform::Interruption run;
    EXPECT_EQ(runChild({{"sh", "-c", "kill -PIPE $$"}, "", "", ""}).signal, SIGPIPE);
    EXPECT_EQ(runChild({{"sh", "-c", "kill -PIPE $$"}, "", "input", ""}).signal, SIGPIPE) << "fed while it runs";
}

}  // namespace
#endif
