// File mode over real files: what is rewritten, byte for byte, and what is
// left alone.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::fs::last_write_time;
using namespace std::string_literals;
using vimbo::test::asWritten;
using vimbo::test::kTextMode;
using vimbo::test::runFileMode;

constexpr char kScratch[] = "$vb$tmp$.$$$";

class FileMode : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
        write("inc/foo.h", "#ifndef foo_h\n#define foo_h\n#endif\n");
        write("util.h", "/* helpers */\n#ifndef UTIL_H\n#define UTIL_H\n#endif\n");
    }
    // Checks that a run leaves a file exactly as it was, time stamp included.
    void expectUntouched(const std::string& text, int expectedResult = 0) {
        write("main.c", text);
        auto stamp = last_write_time(root() / "main.c");
        auto run = runFileMode("main.c", "inc");
        EXPECT_EQ(run.result, expectedResult);
        EXPECT_EQ(run.printed, "");
        EXPECT_EQ(read("main.c"), text);
        EXPECT_EQ(last_write_time(root() / "main.c"), stamp);
        EXPECT_FALSE(exists(kScratch));
    }
};

TEST_F(FileMode, FilesWithNothingToGuardAreNotTouched) {
    expectUntouched("int main(void) { return 0; }\n");
    expectUntouched("#include <missing.h>\n#include \"gone.h\"\r\nint x;");
    expectUntouched("#ifndef A_H\n#include <a.h>\n#endif\n");
    expectUntouched("");
    // Even a file that text mode would change, when there is nothing to guard.
    expectUntouched("int a;\rint b;\n\x1a junk");
}

TEST_F(FileMode, RewritesOneIncludeByteForByte) {
    write("main.c", "#include <stdio.h>\n#include <a.h>\nint main(void) { return 0; }\n");
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(read("main.c"),
              asWritten("#include <stdio.h>\n#ifndef A_H\n#include <a.h>\n#endif\nint main(void) { return 0; }\n"));
    EXPECT_FALSE(exists(kScratch));
    EXPECT_FALSE(exists("main.Bak"));
}

TEST_F(FileMode, QuotedIncludeFromTheCurrentDirectory) {
    write("main.c", "#include \"util.h\"\r\n");
    EXPECT_EQ(runFileMode("main.c", "").result, 1);
    EXPECT_EQ(read("main.c"), "#ifndef UTIL_H\r\n#include \"util.h\"\r\n#endif\r\n");
}

// What text mode reads and writes back: carriage returns dropped, ended at a
// Ctrl-Z, every line (the last one too) ended in CR LF.
std::string textModeCopy(const std::string& bytes) {
    std::string text;
    for (char c : bytes.substr(0, bytes.find('\x1a')))
        if (c != '\r') text += c;
    if (!text.empty() && text.back() != '\n') text += '\n';
    return asWritten(text);
}

// Where every byte is kept, each line keeps its own ending, the inserted lines
// take the ending of the line they wrap, and nothing else changes; text mode
// ends every line in CR LF, the last one included.
TEST_F(FileMode, LineEndingsFollowThePlatform) {
    struct Case {
        const char* description;
        std::string input, kept, textMode;
    } cases[] = {
        {"line feeds", "int a;\n#include <a.h>\nint b;\n", "int a;\n#ifndef A_H\n#include <a.h>\n#endif\nint b;\n",
         "int a;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint b;\r\n"},
        {"mixed ends", "int a;\r\n#include <a.h>\r\nint b;\n#include <b.h>\n",
         "int a;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint b;\n#ifndef B_H\n#include <b.h>\n#endif\n",
         "int a;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint b;\r\n#ifndef B_H\r\n#include <b.h>\r\n#endif\r\n"},
        {"no final line break", "#include <a.h>", "#ifndef A_H\n#include <a.h>\n#endif",
         "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n"},
        {"no final line break in a CR LF file", "int a;\r\n#include <a.h>",
         "int a;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif", "int a;\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n"},
        {"byte-order mark", "\xEF\xBB\xBF// x\n#include <a.h>\n", "\xEF\xBB\xBF// x\n#ifndef A_H\n#include <a.h>\n#endif\n",
         "\xEF\xBB\xBF// x\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n"},
        {"NUL bytes", "char c = '\0';\n#include <a.h>\n"s,
         "char c = '\0';\n#ifndef A_H\n#include <a.h>\n#endif\n"s,
         "char c = '\0';\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n"s},
        {"a final Ctrl-Z", "#include <a.h>\r\n\x1a", "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n\x1a",
         "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n"},
    };
    for (const Case& c : cases) {
        write("main.c", c.input);
        auto run = runFileMode("main.c", "inc", true);
        EXPECT_EQ(run.result, 1) << c.description;
        EXPECT_EQ(run.printed, "") << c.description;
        EXPECT_EQ(read("main.c"), kTextMode ? c.textMode : c.kept) << c.description;
        EXPECT_EQ(read("main.Bak"), kTextMode ? textModeCopy(c.input) : c.input) << c.description;
        std::remove("main.Bak");
    }
}

TEST_F(FileMode, BackupHoldsTheOldText) {
    write("src/main.cpp", "// old\n#include <a.h>\nint x;");
    auto run = runFileMode("src\\main.cpp", "inc", true);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "");
    const std::string last = kTextMode ? "\r\n" : "";  // text mode ends every line
    EXPECT_EQ(read("src/main.Bak"), asWritten("// old\n#include <a.h>\nint x;") + last);
    EXPECT_EQ(read("src/main.cpp"), asWritten("// old\n#ifndef A_H\n#include <a.h>\n#endif\nint x;") + last);
    write("noext", "#include <a.h>\n");
    EXPECT_EQ(runFileMode("noext", "inc", true).result, 1);
    EXPECT_EQ(read("noext.Bak"), asWritten("#include <a.h>\n"));
}

TEST_F(FileMode, LastIfndefMacroDecidesWhatIsAlreadyGuarded) {
    struct Case {
        const char* description;
        std::string input;
        std::string output;  // "" when the file must stay as it is
    } cases[] = {
        {"guarded by the line before", "#ifndef A_H\n#include <a.h>\n#endif\n", ""},
        {"not cleared by #endif", "#ifndef A_H\n#endif\n#include <a.h>\n", ""},
        {"comparison is case-sensitive", "#ifndef FOO_H\n#include <foo.h>\n#endif\n",
         "#ifndef FOO_H\n#ifndef foo_h\n#include <foo.h>\n#endif\n#endif\n"},
        {"commented test does not count", "// #ifndef A_H\n#include <a.h>\n",
         "// #ifndef A_H\n#ifndef A_H\n#include <a.h>\n#endif\n"},
        {"another test replaces it", "#ifndef A_H\n#ifndef NDEBUG\n#include <a.h>\n",
         "#ifndef A_H\n#ifndef NDEBUG\n#ifndef A_H\n#include <a.h>\n#endif\n"},
        {"the line is tracked before it is looked at", "#ifndef A_H #include <a.h>\n", ""},
    };
    for (const Case& c : cases) {
        write("main.c", c.input);
        auto run = runFileMode("main.c", "inc");
        EXPECT_EQ(run.result, c.output.empty() ? 0 : 1) << c.description;
        EXPECT_EQ(read("main.c"), c.output.empty() ? c.input : asWritten(c.output)) << c.description;
    }
}

TEST_F(FileMode, SecondRunDoesNotWrapAgain) {
    write("main.c", "#include <a.h>\n#include <b.h>\n");
    EXPECT_EQ(runFileMode("main.c", "inc").result, 1);
    const std::string once = read("main.c");
    EXPECT_EQ(once, asWritten("#ifndef A_H\n#include <a.h>\n#endif\n#ifndef B_H\n#include <b.h>\n#endif\n"));
    auto stamp = last_write_time(root() / "main.c");
    EXPECT_EQ(runFileMode("main.c", "inc").result, 0);
    EXPECT_EQ(read("main.c"), once);
    EXPECT_EQ(last_write_time(root() / "main.c"), stamp);
}

TEST_F(FileMode, LongLinesPassThroughWhole) {
    const std::string l1022(1022, 'a'), l1023(1023, 'b'), l1024(1024, 'c'), l5000(5000, 'd');
    const std::string longInclude = "#include <a.h> /* " + std::string(3000, 'e') + " */";
    write("main.c", l1022 + "\n" + l1023 + "\n" + l1024 + "\n" + longInclude + "\n" + l5000);
    auto run = runFileMode("main.c", "inc", true);
    EXPECT_EQ(run.result, 1);
    const std::string last = kTextMode ? "\r\n" : "";
    EXPECT_EQ(read("main.c"), asWritten(l1022 + "\n" + l1023 + "\n" + l1024 + "\n#ifndef A_H\n" + longInclude +
                                        "\n#endif\n" + l5000) + last);
    EXPECT_EQ(read("main.Bak"), asWritten(l1022 + "\n" + l1023 + "\n" + l1024 + "\n" + longInclude + "\n" + l5000) + last);
}

TEST_F(FileMode, IncludeBehindLongTextIsStillFound) {
    const std::string line = std::string(2000, ' ') + "#include <a.h>";
    write("main.c", line + "\n");
    EXPECT_EQ(runFileMode("main.c", "inc").result, 1);
    EXPECT_EQ(read("main.c"), asWritten("#ifndef A_H\n" + line + "\n#endif\n"));
}

TEST_F(FileMode, SeparateOutputIsReplacedNeverCreated) {
    write("in.c", "#include <a.h>\n");
    write("out.c", "old output\n");
    auto run = runFileMode("in.c", "inc", false, "out.c");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(read("out.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n"));
    EXPECT_EQ(read("in.c"), "#include <a.h>\n");

    auto missing = runFileMode("in.c", "inc", true, "new.c");
    EXPECT_EQ(missing.result, 1);
    EXPECT_EQ(missing.printed, "Error: Can't remove output file.\n");
    EXPECT_TRUE(missing.failed);
    EXPECT_FALSE(exists("new.c"));
    EXPECT_EQ(read("in.Bak"), asWritten("#include <a.h>\n")) << "the backup is taken even for a separate output";
    EXPECT_FALSE(exists(kScratch));
}

// Text mode would lose a lone carriage return or what follows a Ctrl-Z: such
// a file is left alone. Where every byte is kept, both pass through, and as
// a compiler may end a line (or the file) there, nothing after them is wrapped.
TEST_F(FileMode, LoneCarriageReturnsAndCtrlZ) {
    struct Case {
        std::string input, kept;
    } cases[] = {
        {"#include <a.h>\nint a;\rint b;\n#include <b.h>\n",
         "#ifndef A_H\n#include <a.h>\n#endif\nint a;\rint b;\n#include <b.h>\n"},
        {"#include <a.h>\n\x1a trailing\n#include <b.h>\n",
         "#ifndef A_H\n#include <a.h>\n#endif\n\x1a trailing\n#include <b.h>\n"},
        {"#include <a.h>\r\nint a;\r\r\n#include <b.h>\r\n",
         "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint a;\r\r\n#include <b.h>\r\n"},
    };
    for (const Case& c : cases) {
        write("main.c", c.input);
        auto run = runFileMode("main.c", "inc", true);
        EXPECT_EQ(run.result, 1);
        EXPECT_FALSE(exists(kScratch));
        if (kTextMode) {
            EXPECT_EQ(run.printed, "Error: input holds a lone carriage return or text after Ctrl-Z; left unchanged.\n");
            EXPECT_TRUE(run.failed);
            EXPECT_EQ(read("main.c"), c.input);
            EXPECT_FALSE(exists("main.Bak"));
        } else {
            EXPECT_EQ(run.printed, "");
            EXPECT_EQ(read("main.c"), c.kept);
            EXPECT_EQ(read("main.Bak"), c.input);
            std::remove("main.Bak");
        }
    }
}

}  // namespace
