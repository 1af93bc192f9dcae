// What Windows does differently: drive letters, backslashes, read-only and
// open files.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "analysis/guard_analyzer.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::absoluteSystemPath;
using vimbo::test::runFileMode;

// Finds headers and their guards as a run with these settings does: the
// library's rules along the settings' search path, through one header cache
// of the system's files.
class Analysis {
public:
    explicit Analysis(const Vimbo_Params& settings) { lookup_.searchPath = settings.includePath(); }
    std::string locateIncludeFile(const std::string& line) const {
        return guards_.finder().locateIncludeFile(line, lookup_);
    }
    std::string findGuardMacro(const std::string& path) { return guards_.findGuardMacro(path, lookup_); }

private:
    vimbo::analysis::HeaderCache headers_{vimbo::platform::defaultFileSystemOps()};
    vimbo::analysis::GuardAnalyzer guards_{headers_};
    vimbo::analysis::HeaderLookup lookup_;
};

class WindowsPaths : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("main.c", "#include <a.h>\n");
    }
};

TEST_F(WindowsPaths, DriveLetterEntriesAndAbsoluteNames) {
    const std::string inc = absoluteSystemPath(root() / "inc");
    ASSERT_EQ(inc[1], ':') << inc;
    Vimbo_Params settings;
    settings.setIncludePath("X:\\nowhere;" + inc + "\\");
    Analysis analysis(settings);
    EXPECT_EQ(analysis.locateIncludeFile("#include <a.h>"), inc + "\\a.h");
    EXPECT_EQ(analysis.locateIncludeFile("#include <" + inc + "\\a>"), inc + "\\a.h");
    EXPECT_EQ(analysis.locateIncludeFile("#include \"" + inc + "\\a.h\""), inc + "\\a.h");
    EXPECT_EQ(analysis.findGuardMacro(inc + "\\a.h"), "A_H");
    // A path with "/" written after a drive is tested as written; Windows takes it.
    std::string forward = inc;
    for (char& c : forward)
        if (c == '\\') c = '/';
    EXPECT_EQ(analysis.locateIncludeFile("#include <" + forward + "/a.h>"), forward + "/a.h");
}

TEST_F(WindowsPaths, FileWithDriveAndBackslashesGetsItsBackupBeside) {
    write("src/deep/util.cpp", "#include <a.h>\n");
    const std::string input = absoluteSystemPath(root() / "src" / "deep" / "util.cpp");
    auto run = runFileMode(input, absoluteSystemPath(root() / "inc"), true);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(read("src/deep/util.Bak"), "#include <a.h>\r\n");
    EXPECT_EQ(read("src/deep/util.cpp"), "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n");
}

TEST_F(WindowsPaths, ReadOnlyFileIsLeftAlone) {
    ASSERT_TRUE(SetFileAttributesA("main.c", FILE_ATTRIBUTE_READONLY));
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.printed, "Error: input file is read-only; left unchanged.\n");
    EXPECT_EQ(read("main.c"), "#include <a.h>\n");
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
    SetFileAttributesA("main.c", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsPaths, FileHeldOpenByAnotherProgramIsNotRemoved) {
    HANDLE held = CreateFileA("main.c", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    auto run = runFileMode("main.c", "inc");
    CloseHandle(held);
    EXPECT_EQ(run.printed, "Error: Can't remove old file.\n");
    EXPECT_EQ(read("main.c"), "#include <a.h>\n");
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
}

TEST_F(WindowsPaths, DevicesAreNeverOpenedAsHeaders) {
    Vimbo_Params settings;
    Analysis analysis(settings);
    EXPECT_EQ(analysis.findGuardMacro("NUL"), "");
    EXPECT_EQ(analysis.findGuardMacro("CON"), "");
}

}  // namespace
