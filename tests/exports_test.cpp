// The two exported functions, loaded from the shared library by name and
// called as a host calls them.
#include <gtest/gtest.h>

#include "support/library_host.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

#ifndef VIMBO_LIBRARY
#error "VIMBO_LIBRARY must name the shared library under test"
#endif

namespace {

using vimbo::test::asWritten;

using vimbo::test::ScopedEnv;

const vimbo::test::LoadedLibrary& library() {
    static const vimbo::test::LoadedLibrary loaded = vimbo::test::loadVimboLibrary(VIMBO_LIBRARY);
    return loaded;
}

const char* Vimbo_Line(const char* includePath, const char* line) { return library().line(includePath, line); }

int Vimbo_File(const char* includePath, const char* fileName, char makeBackup) {
    return library().file(includePath, fileName, makeBackup);
}

TEST(SharedLibrary, LoadsAndExportsBothFunctions) {
    EXPECT_EQ(library().error, "");
    ASSERT_NE(library().line, nullptr);
    ASSERT_NE(library().file, nullptr);
    EXPECT_EQ(vimbo::test::exportedSymbol(library(), "Vimbo_Line"), nullptr) << "only the underscored names";
}

class Exports : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_NE(library().line, nullptr) << library().error;
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("util.h", "/* util */\n#if !defined( UTIL_H )\n#define UTIL_H\n#endif\n");
    }
};

TEST_F(Exports, LineNullAndEmptyArguments) {
    EXPECT_STREQ(Vimbo_Line(nullptr, ""), "\n");
    EXPECT_STREQ(Vimbo_Line(nullptr, nullptr), "\n");
    EXPECT_STREQ(Vimbo_Line("", nullptr), "\n");
    EXPECT_STREQ(Vimbo_Line(nullptr, "int x;"), "int x;\n");
}

TEST_F(Exports, LineUsesIncludeUnlessAPathIsGiven) {
    ScopedEnv include("INCLUDE", "inc");
    EXPECT_STREQ(Vimbo_Line(nullptr, "#include <a.h>"), "#ifndef A_H\n#include <a.h>\n#endif\n");
    EXPECT_STREQ(Vimbo_Line("", "#include <a.h>"), "#include <a.h>\n");
    EXPECT_STREQ(Vimbo_Line("nowhere;inc", "#include <a.h>"), "#ifndef A_H\n#include <a.h>\n#endif\n");
    EXPECT_STREQ(Vimbo_Line("", "#include \"util.h\""), "#ifndef  UTIL_H \n#include \"util.h\"\n#endif\n");
}

TEST_F(Exports, EachLineResultReplacesTheLast) {
    const char* first = Vimbo_Line("inc", "#include <a.h>");
    std::string copy = first;
    const char* second = Vimbo_Line("inc", "int y;");
    EXPECT_STREQ(second, "int y;\n");
    EXPECT_EQ(copy, "#ifndef A_H\n#include <a.h>\n#endif\n");
    // The previous result handed back as the line is read before it is replaced.
    std::string line = "#include <a.h>";
    // Text of several lines is never wrapped (what follows the include would
    // end up inside the test), so it comes back whole.
    const char* again = Vimbo_Line("inc", Vimbo_Line("inc", line.c_str()));
    EXPECT_STREQ(again, "#ifndef A_H\n#include <a.h>\n#endif\n\n");
}

TEST_F(Exports, GuardWithANulStillGivesTheWholeText) {
    // Found by fuzzing: the result is a C string, so a NUL in the guard cut it
    // short. Such a macro is no identifier, so nothing is wrapped in it now;
    // the line still comes back whole.
    static const char header[] = "#ifndef \x13H_Q\0\0\0_<g>\n#endif\n";
    write("inc/h.h", std::string(header, sizeof header - 1));
    EXPECT_STREQ(Vimbo_Line("inc", "#include <h.h>"), "#include <h.h>\n");
}

TEST_F(Exports, LineHasNoLengthLimit) {
    const std::string line = "#include <a.h> // " + std::string(1 << 20, 'q');
    EXPECT_EQ(std::string(Vimbo_Line("inc", line.c_str())), "#ifndef A_H\n" + line + "\n#endif\n");
}

TEST_F(Exports, FileRewritesInPlace) {
    write("main.c", "#include <a.h>\n");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Vimbo_File("inc", "main.c", 0), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(read("main.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n"));
    EXPECT_FALSE(exists("main.Bak"));
    EXPECT_FALSE(exists("$vb$tmp$.$$$"));
}

TEST_F(Exports, FileTakesIncludeAndAnyNonZeroBackupFlag) {
    ScopedEnv include("INCLUDE", "inc");
    write("main.c", "#include <a.h>\n");
    EXPECT_EQ(Vimbo_File(nullptr, "main.c", static_cast<char>(0x80)), 1);
    EXPECT_EQ(read("main.Bak"), asWritten("#include <a.h>\n"));
    write("other.c", "#include <a.h>\n");
    EXPECT_EQ(Vimbo_File("", "other.c", 1), 0) << "an empty path finds nothing";
    EXPECT_EQ(read("other.c"), "#include <a.h>\n");
}

TEST_F(Exports, FileReportsWhatCannotBeOpened) {
    for (const char* name : {"missing.c", static_cast<const char*>(nullptr)}) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(Vimbo_File(nullptr, name, 0), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: can't open input file.\n");
    }
}

}  // namespace
