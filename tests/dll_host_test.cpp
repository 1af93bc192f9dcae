// vimbo.dll as a Windows host sees it: exports by name and ordinal, the
// version resource, and a line and a file rewritten through it.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "support/temp_dir.h"
#include "vimbo/version.h"

namespace {

using LineFunction = const char*(__cdecl*)(const char*, const char*);
using FileFunction = int(__cdecl*)(const char*, const char*, char);

class DllHost : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        module_ = LoadLibraryA(VIMBO_LIBRARY);
        ASSERT_NE(module_, nullptr) << "LoadLibraryA: " << GetLastError();
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        TempDirTest::TearDown();
    }
    FARPROC byName(const char* name) { return GetProcAddress(module_, name); }
    FARPROC byOrdinal(WORD ordinal) { return GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)); }

    HMODULE module_ = nullptr;
};

TEST_F(DllHost, ExportsByNameAndOrdinal) {
    ASSERT_NE(byName("_Vimbo_Line"), nullptr);
    ASSERT_NE(byName("_Vimbo_File"), nullptr);
    EXPECT_EQ(byOrdinal(1), byName("_Vimbo_Line"));
    EXPECT_EQ(byOrdinal(2), byName("_Vimbo_File"));
    EXPECT_EQ(byOrdinal(3), nullptr);
    EXPECT_EQ(byName("Vimbo_Line"), nullptr);
    EXPECT_EQ(byName("Vimbo_File"), nullptr);
}

TEST_F(DllHost, CarriesTheVersionResource) {
    const DWORD size = GetFileVersionInfoSizeA(VIMBO_LIBRARY, nullptr);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(VIMBO_LIBRARY, 0, size, data.data()));

    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, VIMBO_VERSION_TEXT);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);

    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(DllHost, RewritesALineAndAFileThroughTheExports) {
    write("inc/a.h", "#ifndef A_H\r\n#define A_H\r\n#endif\r\n");
    write("main.c", "#include <a.h>\r\nint x;\r\n");
    auto line = reinterpret_cast<LineFunction>(reinterpret_cast<void*>(byOrdinal(1)));
    auto file = reinterpret_cast<FileFunction>(reinterpret_cast<void*>(byOrdinal(2)));
    const std::string inc = vimbo::test::absoluteSystemPath(root() / "inc");
    EXPECT_STREQ(line(inc.c_str(), "#include <a.h>"), "#ifndef A_H\n#include <a.h>\n#endif\n");
    EXPECT_EQ(file(inc.c_str(), "main.c", 1), 1);
    EXPECT_EQ(read("main.c"), "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint x;\r\n");
    EXPECT_EQ(read("main.Bak"), "#include <a.h>\r\nint x;\r\n");
}

}  // namespace
