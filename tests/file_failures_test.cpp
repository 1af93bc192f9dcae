// Every way file mode can fail, provoked on the real file system where it can
// be and injected into the platform's operations table where it cannot. In
// every case the user's text must survive somewhere.
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::asWritten;

using vimbo::platform::FileHandle;
using vimbo::test::fileSystem;
using vimbo::test::runFileMode;

constexpr char kScratch[] = "$vb$tmp$.$$$";
const std::string kSource = "#include <a.h>\nint x;\n";
const std::string kRewritten = asWritten("#ifndef A_H\n#include <a.h>\n#endif\nint x;\n");

// Counters for the injected operations; reset before each test.
int gCalls = 0;

class FileFailures : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        gCalls = 0;
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("main.c", kSource);
    }
    void expectInputUntouched() {
        EXPECT_EQ(read("main.c"), kSource);
        EXPECT_FALSE(exists(kScratch));
    }
};

TEST_F(FileFailures, MissingOrDirectoryInputCannotBeOpened) {
    for (const char* name : {"missing.c", "inc", ""}) {
        auto run = runFileMode(name, "inc");
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.printed, "Error: can't open input file.\n") << name;
        EXPECT_TRUE(run.failed);
        EXPECT_FALSE(exists(kScratch));
    }
}

TEST_F(FileFailures, StaleScratchFileIsNeverOverwritten) {
    write(kScratch, "text left by an earlier run\n");
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.printed, "Error: can't create temporary file.\n");
    EXPECT_EQ(read(kScratch), "text left by an earlier run\n");
    EXPECT_EQ(read("main.c"), kSource);
}

TEST_F(FileFailures, InputNamedLikeTheScratchFileIsLeftAlone) {
    write(kScratch, kSource);
    auto run = runFileMode(kScratch, "inc");
    EXPECT_EQ(run.printed, "Error: can't create temporary file.\n");
    EXPECT_EQ(read(kScratch), kSource);
}

TEST_F(FileFailures, ScratchCreationFailure) {
    fileSystem().xCreateNew = [](const vimbo::platform::FileSystemOps&, const std::string&) -> FileHandle { return vimbo::platform::kNoFile; };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.printed, "Error: can't create temporary file.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, HardReadErrorKeepsTheInput) {
    // The include lies in the first block read; the second read fails.
    write("main.c", kSource + std::string(40000, 'x') + "\n");
    const std::string before = read("main.c");
    static FileHandle input = vimbo::platform::kNoFile;
    fileSystem().xOpenRead = [](const vimbo::platform::FileSystemOps&, const std::string& path,
                                        const vimbo::platform::FileIdentity* known) {
        FileHandle file = vimbo::platform::defaultFileSystemOps().openRead(path, known);
        if (path == "main.c") input = file;
        return file;
    };
    fileSystem().xRead = [](const vimbo::platform::FileSystemOps&, FileHandle file, char* buffer, std::size_t size) -> std::int64_t {
        if (file == input && ++gCalls == 2) return -1;
        return vimbo::platform::defaultFileSystemOps().read(file, buffer, size);
    };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1) << "the result still says what was guarded";
    EXPECT_EQ(run.printed, "Error: IO error.\n");
    EXPECT_EQ(read("main.c"), before);
    EXPECT_FALSE(exists(kScratch));
}

TEST_F(FileFailures, HardWriteErrorKeepsTheInput) {
    fileSystem().xWrite = [](const vimbo::platform::FileSystemOps&, FileHandle, const char*, std::size_t) { return false; };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "Error: IO error.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, FailedCloseOfTheScratchFileCountsAsWriteError) {
    fileSystem().xClose = [](const vimbo::platform::FileSystemOps&, FileHandle file) {
        vimbo::platform::defaultFileSystemOps().close(file);
        return false;
    };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.printed, "Error: IO error.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, BackupThatCannotBeWrittenStopsTheCommit) {
    vimbo::test::fs::create_directories(root() / "main.Bak");  // a directory in the backup's place
    auto run = runFileMode("main.c", "inc", true);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "Error: Can't create .bak file.\n");
    EXPECT_TRUE(run.failed);
    expectInputUntouched();
}

TEST_F(FileFailures, BackupWriteErrorStopsTheCommit) {
    // The scratch file is written first; every later write (the backup's,
    // as on a file system that is full by then) fails.
    fileSystem().xCreateNew = [](const vimbo::platform::FileSystemOps&, const std::string& path) {
        ++gCalls;
        return vimbo::platform::defaultFileSystemOps().createNew(path);
    };
    fileSystem().xWrite = [](const vimbo::platform::FileSystemOps&, FileHandle file, const char* data, std::size_t size) {
        return gCalls < 2 && vimbo::platform::defaultFileSystemOps().write(file, data, size);
    };
    write("main.Bak", "an older backup\n");
    auto run = runFileMode("main.c", "inc", true);
    EXPECT_EQ(run.printed, "Error: Can't create .bak file.\n");
    expectInputUntouched();
    EXPECT_EQ(read("main.Bak"), "an older backup\n") << "no half-written copy takes its place";
    EXPECT_FALSE(exists("$vb$bak$.$$$"));
}

TEST_F(FileFailures, InputThatIsItsOwnBackupIsNotTruncated) {
    write("keep.Bak", kSource);
    auto run = runFileMode("keep.Bak", "inc", true);
    EXPECT_EQ(run.printed, "Error: Can't create .bak file.\n");
    EXPECT_EQ(read("keep.Bak"), kSource);
    EXPECT_FALSE(exists(kScratch));
}

TEST_F(FileFailures, OutputNamingTheScratchFileIsRefused) {
    auto run = runFileMode("main.c", "inc", false, ".\\$vb$tmp$.$$$");
    EXPECT_EQ(run.printed, "Error: Can't remove output file.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, OldFileThatCannotBeRemoved) {
    fileSystem().xRemove = [](const vimbo::platform::FileSystemOps&, const std::string& path) {
        return path == kScratch && vimbo::platform::defaultFileSystemOps().remove(path);
    };
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "Error: Can't remove old file.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, OutputFileThatCannotBeRemoved) {
    vimbo::test::fs::create_directories(root() / "out.c");
    auto run = runFileMode("main.c", "inc", false, "out.c");
    EXPECT_EQ(run.printed, "Error: Can't remove output file.\n");
    expectInputUntouched();
}

TEST_F(FileFailures, FailedRenameLeavesTheTextInTheScratchFile) {
    fileSystem().xRename = [](const vimbo::platform::FileSystemOps&, const std::string& from, const std::string& to) {
        return from != kScratch && vimbo::platform::defaultFileSystemOps().rename(from, to);
    };
    auto run = runFileMode("main.c", "inc", true);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "Error: Can't rename $vb$tmp$.$$$ to main.c\n");
    EXPECT_TRUE(run.failed);
    EXPECT_FALSE(exists("main.c"));
    EXPECT_EQ(read(kScratch), kRewritten);
    EXPECT_EQ(read("main.Bak"), asWritten("#include <a.h>\nint x;\n"));

    // The next run in this directory must not destroy that copy.
    vimbo::test::fileSystem() = vimbo::platform::defaultFileSystemOps();
    write("other.c", kSource);
    auto next = runFileMode("other.c", "inc");
    EXPECT_EQ(next.printed, "Error: can't create temporary file.\n");
    EXPECT_EQ(read(kScratch), kRewritten);
    EXPECT_EQ(read("other.c"), kSource);
}

TEST_F(FileFailures, FailedRenameToSeparateOutputAlsoKeepsTheScratchFile) {
    write("out.c", "old\n");
    fileSystem().xRename = [](const vimbo::platform::FileSystemOps&, const std::string&, const std::string&) { return false; };
    auto run = runFileMode("main.c", "inc", false, "out.c");
    EXPECT_EQ(run.printed, "Error: Can't rename $vb$tmp$.$$$ to out.c\n");
    EXPECT_EQ(read(kScratch), kRewritten);
    EXPECT_EQ(read("main.c"), kSource);
}

// Runs that replace in one step (parallel tree runs) keep the old file and
// drop the scratch file when the replace fails: nothing is lost either way.
TEST_F(FileFailures, FailedReplaceInOneStepKeepsTheOldFile) {
    fileSystem().xReplace = [](const vimbo::platform::FileSystemOps&, const std::string&, const std::string&) {
        return false;
    };
    write("sub/main.c", kSource);
    Vimbo_Params settings("sub/main.c");
    settings.setIncludePath("inc");
    RewriteOptions options = RewriteOptions::library();
    options.printMessages = false;
    options.replaceInOneStep = true;
    options.scratchDirectory = "sub/";
    Vimbo processor(&settings, options, {}, fileSystem());
    const FileRunResult result = processor.rewriteFile();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.failure, Failure::cantReplace);
    EXPECT_EQ(result.message, "Error: can't replace sub/main.c; left unchanged.\n");
    EXPECT_EQ(read("sub/main.c"), kSource);
    EXPECT_FALSE(exists("sub/$vb$tmp$.$$$"));
    EXPECT_FALSE(exists(kScratch));
}

#ifndef _WIN32
TEST_F(FileFailures, LinkedFileIsNeverReplaced) {
    write("real.c", kSource);
    vimbo::test::fs::create_symlink("real.c", root() / "link.c");
    auto run = runFileMode("link.c", "inc");
    EXPECT_EQ(run.printed, "Error: Can't remove old file.\n");
    EXPECT_TRUE(vimbo::test::fs::is_symlink(root() / "link.c"));
    EXPECT_EQ(read("real.c"), kSource);
    EXPECT_FALSE(exists(kScratch));
}

TEST_F(FileFailures, BackupLinkedToTheInputIsNotTruncated) {
    vimbo::test::fs::create_symlink("main.c", root() / "main.Bak");
    auto run = runFileMode("main.c", "inc", true);
    EXPECT_EQ(run.printed, "Error: Can't create .bak file.\n");
    expectInputUntouched();
}
#endif

}  // namespace
