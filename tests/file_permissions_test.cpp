// A rewritten file stands for the old one: same permission bits, owner and
// group where they can be set; read-only files and files with several hard
// links are left alone.
#include <gtest/gtest.h>

#include <cstdio>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/file_system.h"
#include "support/command_run.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::platform::fileSystem;
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
        vimbo::platform::restoreDefaultOps();
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
    fileSystem().xCopyPermissions = [](const vimbo::platform::FileSystemOps&, const std::string&, const std::string&) { return false; };
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

// A rewrite gives the file a new identity: a hard-linked twin would keep the
// old text, so a tree walk leaves such files alone unless told otherwise.
TEST_F(Permissions, HardLinkedFilesAreSkippedInTrees) {
    write("src/a.c", kInput);
    write("src/b.c", kInput);
    fs::create_hard_link(root() / "src/b.c", root() / "twin.c");
    auto walk = runVimbo({"-i", "inc", "--tree", "src"});
    EXPECT_EQ(walk.status, 0) << walk.err;
    EXPECT_NE(walk.out.find("1 files examined, 1 rewritten, 1 skipped, 0 failed"), std::string::npos) << walk.out;
    EXPECT_NE(walk.err.find("src/b.c: skipped (2 hard links; --break-links rewrites it apart from them)"),
              std::string::npos)
        << walk.err;
    EXPECT_EQ(read("src/b.c"), kInput);

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
