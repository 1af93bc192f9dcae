// A rewritten file stands for the old one: same permission bits, owner and
// group where they can be set; read-only files and files with several hard
// links are left alone.
#include <gtest/gtest.h>

#include <cstdio>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include "platform/file_system.h"
#include "support/command_run.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::fileSystem;
using vimbo::test::asWritten;
using vimbo::test::runFileMode;
using vimbo::test::runVimbo;

const std::string kInput = "#include <a.h>\n";
const std::string kRewritten = asWritten("#ifndef A_H\n#include <a.h>\n#endif\n");

class Permissions : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    }
    void TearDown() override {
        // Read-only leftovers must not stop the temporary directory's removal.
        for (const auto& entry : fs::recursive_directory_iterator(root()))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
        vimbo::test::fileSystem() = vimbo::platform::defaultFileSystemOps();
        TempDirTest::TearDown();
    }
};

TEST_F(Permissions, ReadOnlyTargetsAreLeftAlone) {
    write("main.c", kInput);
    write("out.c", "old\n");
    for (const char* name : {"main.c", "out.c"})
        fs::permissions(root() / name, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    auto inPlace = runFileMode("main.c", "inc", true);
    EXPECT_EQ(inPlace.result, 1);
    EXPECT_EQ(inPlace.printed, "Error: input file is read-only; left unchanged.\n");
    EXPECT_EQ(read("main.c"), kInput);
    EXPECT_FALSE(exists("main.Bak"));
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
    EXPECT_EQ(fs::status(root() / "main.c").permissions() & fs::perms::owner_write, fs::perms::none);

    auto separate = runFileMode("main.c", "inc", false, "out.c");
    EXPECT_EQ(separate.printed, "Error: output file is read-only; left unchanged.\n");
    EXPECT_EQ(read("out.c"), "old\n");

    auto check = runVimbo({"-i", "inc", "--check", "main.c"});
    EXPECT_EQ(check.status, 2) << "a check foretells the refusal";
    EXPECT_NE(check.err.find("main.c: Error: input file is read-only; left unchanged."), std::string::npos)
        << check.err;
}

// A file system that cannot set permission bits (or a platform layer that
// fails to) is not something a test directory can produce.
TEST_F(Permissions, FailingToSetThemKeepsTheOriginal) {
    write("main.c", kInput);
    fileSystem().xCopyPermissions = [](const vimbo::platform::FileSystemOps&, const std::string&, const std::string&,
                                       const vimbo::platform::FileIdentity*,
                                       const vimbo::platform::FileIdentity*) { return false; };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "Error: can't give the new file the permissions of the old one; left unchanged.\n");
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(read("main.c"), kInput);
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
    auto backup = runFileMode("main.c", "inc", true);
    EXPECT_EQ(backup.printed, "Error: Can't create .bak file.\n") << "a .Bak as open as the original, or none";
    EXPECT_EQ(read("main.c"), kInput);
}

#ifndef _WIN32
mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST_F(Permissions, BitsAreKeptWhateverTheUmask) {
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
        const mode_t oldMask = ::umask(mask);
        for (mode_t mode : {mode_t{0600}, mode_t{0644}, mode_t{0755}, mode_t{0640}, mode_t{04755}}) {
            write("main.c", kInput);
            std::remove((root() / "main.Bak").c_str());
            ASSERT_EQ(::chmod((root() / "main.c").c_str(), mode), 0);
            auto run = runFileMode("main.c", "inc", true);
            EXPECT_EQ(run.printed, "") << std::oct << mode;
            EXPECT_EQ(read("main.c"), kRewritten) << std::oct << mode;
            EXPECT_EQ(modeOf(root() / "main.c"), mode) << std::oct << mode << " umask " << mask;
            EXPECT_EQ(modeOf(root() / "main.Bak"), mode) << "the copy is no more open than the original";
        }
        ::umask(oldMask);
    }
}

TEST_F(Permissions, OwnerAndGroupAreKeptByRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
    write("main.c", kInput);
    ASSERT_EQ(::chown((root() / "main.c").c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod((root() / "main.c").c_str(), 02640), 0);
    EXPECT_EQ(runFileMode("main.c", "inc", true).printed, "");
    struct stat info {}, backup {};
    ASSERT_EQ(::stat((root() / "main.c").c_str(), &info), 0);
    ASSERT_EQ(::stat((root() / "main.Bak").c_str(), &backup), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(info.st_mode & 07777, 02640u) << "the set-group bit stays with its group";
    EXPECT_EQ(backup.st_uid, 1234u);
}

// The scratch file lies in the current directory; on another file system the
// rename becomes a copy, which must carry the permissions too.
TEST_F(Permissions, KeptAcrossFileSystems) {
    const fs::path elsewhere = "/dev/shm";
    struct stat here {}, there {};
    if (::stat(root().c_str(), &here) != 0 || ::stat(elsewhere.c_str(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system to write the scratch file on";
    char name[] = "/dev/shm/vimbo-permissions-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    write("main.c", kInput);
    ASSERT_EQ(::chmod((root() / "main.c").c_str(), 0751), 0);
    const std::string target = (root() / "main.c").string(), include = (root() / "inc").string();
    fs::current_path(name);
    auto run = runFileMode(target, include);
    fs::current_path(root());
    fs::remove_all(name);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(read("main.c"), kRewritten);
    EXPECT_EQ(modeOf(root() / "main.c"), 0751u);
}

// Files of one directory rewritten in a row may share one scratch file,
// the previous file's old version: each still gets its own bits, and none
// is left behind.
TEST_F(Permissions, EachFileOfATreeKeepsItsOwnBits) {
    const std::pair<const char*, mode_t> files[] = {{"src/a.c", 0644}, {"src/b.c", 0600}, {"src/c.c", 0755},
                                                    {"src/d.c", 0640}};
    for (const auto& [name, mode] : files) {
        write(name, kInput);
        ASSERT_EQ(::chmod((root() / name).c_str(), mode), 0);
    }
    auto walk = runVimbo({"-j", "1", "-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 0) << walk.err;
    for (const auto& [name, mode] : files) {
        EXPECT_EQ(read(name), kRewritten) << name;
        EXPECT_EQ(modeOf(root() / name), mode) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root() / "src"), fs::directory_iterator()), 4)
        << "the scratch file is gone";
}

#endif

#ifdef __linux__
std::string attribute(const fs::path& path, const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "(none)" : std::string(value, static_cast<std::size_t>(size));
}

// Extended attributes (and with them ACLs and security labels) stay with
// the file in every kind of run: one file, a tree whose files take the
// previous file's old version as their scratch file, and the .Bak copy.
TEST_F(Permissions, ExtendedAttributesAreKept) {
    const char* const names[] = {"main.c", "src/a.c", "src/b.c"};
    for (const char* name : names) {
        write(name, kInput);
        const std::string value = std::string("value of ") + name;
        if (::setxattr((root() / name).c_str(), "user.origin", value.data(), value.size(), 0) != 0)
            GTEST_SKIP() << "no extended attributes on this file system";
    }
    ASSERT_EQ(::setxattr((root() / "src/a.c").c_str(), "user.only-a", "x", 1, 0), 0);
    EXPECT_EQ(runFileMode("main.c", "inc", true).printed, "");
    auto walk = runVimbo({"-j", "1", "-b", "-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 0) << walk.err;
    for (const char* name : names) {
        EXPECT_EQ(read(name), kRewritten) << name;
        EXPECT_EQ(attribute(root() / name, "user.origin"), std::string("value of ") + name) << name;
        EXPECT_EQ(attribute(fs::path(root() / name).replace_extension(".Bak"), "user.origin"),
                  std::string("value of ") + name);
    }
    EXPECT_EQ(attribute(root() / "src/b.c", "user.only-a"), "(none)") << "nothing of the file before it";

    write("main.c", kInput);
    fileSystem().xCopyAttributes = [](const vimbo::platform::FileSystemOps&, const std::string&, const std::string&) {
        return false;
    };
    auto failed = runFileMode("main.c", "inc");
    EXPECT_EQ(failed.printed, "Error: can't give the new file the extended attributes of the old one; left unchanged.\n");
    EXPECT_EQ(read("main.c"), kInput);
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
}
#endif

// A .Bak is made anew: one that is a link, or a hard link of another file,
// is replaced, and what it named stays as it was.
TEST_F(Permissions, BackupsNeverWriteThroughLinks) {
    write("outside/secret.txt", "secret\n");
    write("src/linked.c", kInput);
    write("src/hard.c", kInput);
#ifndef _WIN32
    fs::permissions(root() / "outside/secret.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(root() / "outside/secret.txt", root() / "src/linked.Bak");
#endif
    fs::create_hard_link(root() / "outside/secret.txt", root() / "src/hard.Bak");
    auto walk = runVimbo({"-b", "-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 0) << walk.err;
    EXPECT_EQ(read("outside/secret.txt"), "secret\n");
#ifndef _WIN32
    EXPECT_EQ(modeOf(root() / "outside/secret.txt"), 0600u);
    EXPECT_FALSE(fs::is_symlink(root() / "src/linked.Bak"));
    EXPECT_EQ(read("src/linked.Bak"), asWritten(kInput));
#endif
    EXPECT_EQ(read("src/hard.Bak"), asWritten(kInput));
    EXPECT_EQ(read("src/hard.c"), kRewritten);
}

// u.c and u.h both back up to u.Bak: the second is refused and keeps its text.
TEST_F(Permissions, TwoInputsNeverShareABackup) {
    write("src/u.c", kInput);
    write("src/u.h", kInput);
    auto walk = runVimbo({"-b", "-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 1);
    EXPECT_EQ(walk.err, "vimbo: src/u.h: Error: the backup src/u.Bak holds the old text of src/u.c already; left "
                        "unchanged.\n");
    EXPECT_EQ(read("src/u.c"), kRewritten);
    EXPECT_EQ(read("src/u.h"), kInput);
    EXPECT_EQ(read("src/u.Bak"), asWritten(kInput));
    EXPECT_EQ(runVimbo({"-i", "inc", "--tree", "src"}).status, 0) << "without -b there is no conflict";
}

// A rewrite gives the file a new identity: a hard-linked twin would keep the
// old text, so a tree walk leaves such files alone unless told otherwise.
TEST_F(Permissions, HardLinkedFilesAreSkippedInTrees) {
    write("src/a.c", kInput);
    write("src/b.c", kInput);
    fs::create_hard_link(root() / "src/b.c", root() / "twin.c");
    // Left out of the run whole: taken in, it would share a.h's guard.
    write("src/same.h", "#ifndef A_H\n#define A_H\n#endif\n");
    fs::create_hard_link(root() / "src/same.h", root() / "same-twin.h");
    const auto check = runVimbo({"-i", "inc", "--check", "--tree", "src"});
    EXPECT_EQ(check.out, "src/a.c\n");
    auto walk = runVimbo({"-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 0) << walk.err;
    EXPECT_NE(walk.out.find("1 files examined, 1 rewritten, 2 skipped, 0 failed"), std::string::npos) << walk.out;
    for (const auto& run : {check, walk})
        EXPECT_EQ(run.err.find("vimbo: src/b.c: skipped (2 hard links; --break-links rewrites it apart from them)\n"
                               "vimbo: src/same.h: skipped (2 hard links; "),
                  0u)
            << run.err;
    EXPECT_EQ(read("src/b.c"), kInput);
    fs::remove(root() / "src/same.h");

    // c.c comes after b.c, whose old file (the twin's) must not take its text.
    write("src/c.c", kInput);
    auto broken = runVimbo({"-i", "inc", "--tree", "--break-links", "src"});
    EXPECT_EQ(broken.status, 0) << broken.err;
    EXPECT_EQ(read("src/b.c"), kRewritten);
    EXPECT_EQ(read("src/c.c"), kRewritten);
    EXPECT_EQ(read("twin.c"), kInput) << "the twin keeps the old text";
    EXPECT_FALSE(exists("src/$vb$tmp$.$$$"));
    EXPECT_EQ(runVimbo({"--break-links", "src/a.c"}).status, 2) << "--break-links goes with --tree";
}
}  // namespace
