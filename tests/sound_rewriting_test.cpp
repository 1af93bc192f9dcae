// Every wrap must leave the translation unit as it was: only directives the
// preprocessor sees are wrapped, only in a macro that controls the whole
// header, only for the header the compiler would open.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/file_mode_run.h"
#include "support/temp_dir.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::runFileMode;

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string wrapped(const std::string& guard, const std::string& line) {
    return "#ifndef " + guard + "\n" + line + "\n#endif\n";
}

struct RewriteCase {
    const char* description;
    std::string source;    // main.c
    std::string expected;  // after the rewrite, line breaks as "\n"
};

void PrintTo(const RewriteCase& c, std::ostream* out) { *out << c.description; }

class SoundRewrite : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<RewriteCase> {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("inc/stdafx.h", "#ifndef STDAFX_H\n#define STDAFX_H\n#endif\n");
    }
};

TEST_P(SoundRewrite, WrapsOnlyDirectivesThePreprocessorSees) {
    const RewriteCase& c = GetParam();
    write("main.c", c.source);
    auto run = runFileMode("main.c", "inc");
    EXPECT_EQ(run.printed, "");
    EXPECT_EQ(withoutCarriageReturns(read("main.c")), c.expected) << c.description;
}

const std::string kInclude = "#include <a.h>";

// Include text that is no directive, or a directive that cannot stand alone.
INSTANTIATE_TEST_SUITE_P(
    LeftAlone, SoundRewrite,
    ::testing::Values(
        RewriteCase{"in a string", "fprintf(f, \"#include <a.h>\\n\");\n", "fprintf(f, \"#include <a.h>\\n\");\n"},
        RewriteCase{"in a macro's string", "#define LINE \"#include <a.h>\"\n", "#define LINE \"#include <a.h>\"\n"},
        RewriteCase{"in a pragma", "#pragma message(\"see #include <a.h>\")\n",
                    "#pragma message(\"see #include <a.h>\")\n"},
        RewriteCase{"in a comment behind code", "int x; // #include <a.h>\n", "int x; // #include <a.h>\n"},
        RewriteCase{"inside a block comment", "/* old:\n#include <a.h>\n*/\n", "/* old:\n#include <a.h>\n*/\n"},
        RewriteCase{"inside a raw string", "auto s = R\"(\n#include <a.h>\n)\";\n",
                    "auto s = R\"(\n#include <a.h>\n)\";\n"},
        RewriteCase{"continuing the line above", "#define X \\\n#include <a.h>\n", "#define X \\\n#include <a.h>\n"},
        RewriteCase{"continued onto the next line", "#include <a.h> \\\n  int x;\n", "#include <a.h> \\\n  int x;\n"},
        RewriteCase{"a comment closed on the include line", "/* start\nend */ #include <a.h>\n",
                    "/* start\nend */ #include <a.h>\n"},
        RewriteCase{"a comment opened on the include line", "#include <a.h> /* start\nend */\n",
                    "#include <a.h> /* start\nend */\n"},
        RewriteCase{"an include_next", "#include_next <a.h>\n", "#include_next <a.h>\n"},
        RewriteCase{"a macro operand", "#define A <a.h>\n#include A\n", "#define A <a.h>\n#include A\n"},
        // Found by fuzzing: "<a" reached a.h through the ".h" retry, and the
        // wrap turned the compiler's error into a skipped include.
        RewriteCase{"an unclosed header name", "#include <a\n#include \"a.h\n", "#include <a\n#include \"a.h\n"},
        // Found by fuzzing: the operand is "<x #include <a.h>", and the
        // compiler looks for a header of that name.
        RewriteCase{"another include's text inside the operand", "# include <x #include <a.h>\n",
                    "# include <x #include <a.h>\n"},
        // Found by fuzzing: the NUL cut the name to "a.h" on its way to the system.
        RewriteCase{"a NUL inside the header name", std::string("#include <a.h\0x>\n", 17),
                    std::string("#include <a.h\0x>\n", 17)},
        RewriteCase{"the precompiled header", "#include <stdafx.h>\n", "#include <stdafx.h>\n"},
        RewriteCase{"a byte-order mark stays first", "\xEF\xBB\xBF#include <a.h>\n", "\xEF\xBB\xBF#include <a.h>\n"},
        RewriteCase{"after text that C and C++ read differently", "auto s = R\"(\n)\";\n#include <a.h>\n",
                    "auto s = R\"(\n)\";\n#include <a.h>\n"},
        RewriteCase{"inside a raw string right after a character literal", "auto s = 'a'R\"(\n#include <a.h>\n)\";\n",
                    "auto s = 'a'R\"(\n#include <a.h>\n)\";\n"},
        RewriteCase{"after a digit separator before a comment (a quote to C before C23)",
                    "int n = 1'000; // it's\n#include <a.h>\n", "int n = 1'000; // it's\n#include <a.h>\n"}));

INSTANTIATE_TEST_SUITE_P(
    Wrapped, SoundRewrite,
    ::testing::Values(
        RewriteCase{"plain", kInclude + "\n", wrapped("A_H", kInclude)},
        RewriteCase{"indented, with a closed comment behind", "  #include <a.h> /* x */ // y\n",
                    wrapped("A_H", "  #include <a.h> /* x */ // y")},
        RewriteCase{"after a block comment that ends above", "/* a\n * b */\n" + kInclude + "\n",
                    "/* a\n * b */\n" + wrapped("A_H", kInclude)},
        RewriteCase{"after literals holding comment openers", "char* s = \"\\\"/*\"; char c = '\"';\n" + kInclude + "\n",
                    "char* s = \"\\\"/*\"; char c = '\"';\n" + wrapped("A_H", kInclude)},
        RewriteCase{"after a raw string on one line", "auto s = R\"x(/*)x\";\n" + kInclude + "\n",
                    "auto s = R\"x(/*)x\";\n" + wrapped("A_H", kInclude)},
        RewriteCase{"a header name with comment openers", "#include <a.h>//x\n", wrapped("A_H", "#include <a.h>//x")},
        RewriteCase{"after digit separators", "long n = 1'000'000, m = 0x1'a'b;\n" + kInclude + "\n",
                    "long n = 1'000'000, m = 0x1'a'b;\n" + wrapped("A_H", kInclude)},
        RewriteCase{"after the byte-order mark's line", "\xEF\xBB\xBF// c\n" + kInclude + "\n",
                    "\xEF\xBB\xBF// c\n" + wrapped("A_H", kInclude)}));

// Headers whose discovered guard does not control them.
struct HeaderCase {
    const char* description;
    std::vector<std::pair<std::string, std::string>> files;  // path, text
    std::string line;
    std::string guard;  // "" when the line must stay as it is
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.description; }

class VerifiedGuards : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(VerifiedGuards, WrapOnlyInAMacroThatControlsTheHeader) {
    const HeaderCase& c = GetParam();
    for (const auto& [path, text] : c.files) write(path, text);
    write("main.c", c.line + "\n");
    runFileMode("main.c", "inc");
    const std::string expected = c.guard.empty() ? c.line + "\n" : wrapped(c.guard, c.line);
    EXPECT_EQ(withoutCarriageReturns(read("main.c")), expected) << c.description;
}

const std::string kConfig = "#ifndef CONFIG_H\n#define CONFIG_H\n#endif\n";

INSTANTIATE_TEST_SUITE_P(
    Headers, VerifiedGuards,
    ::testing::Values(
        HeaderCase{"a guard whose name does not match lends nothing wrong",
                   {{"inc/config.h", kConfig},
                    {"inc/exception_ptr.h",
                     "#include <config.h>\n#ifndef BOOST_EXCEPTION_PTR_IMPL_GUARD_1\n#define "
                     "BOOST_EXCEPTION_PTR_IMPL_GUARD_1\n#endif\n"}},
                   "#include <exception_ptr.h>",
                   ""},
        HeaderCase{"a header meant to be included again",
                   {{"inc/check.h", "#ifndef CHECK_H\n#define CHECK_H\n#endif\n#undef CHECK\n#define CHECK(x) x\n"}},
                   "#include <check.h>",
                   ""},
        HeaderCase{"an X-macro file", {{"inc/targets.def", "#ifndef TARGET\n#error TARGET\n#endif\nTARGET(x86)\n"}},
                   "#include <targets.def>", ""},
        HeaderCase{"a header with another header's test first",
                   {{"inc/cfg.h", "#ifndef CFG_H\n#define CFG_H\n#endif\n"},
                    {"inc/util.h", "#ifndef CFG_H\n#include <cfg.h>\n#endif\n#ifndef UTIL_H\n#define UTIL_H\n#endif\n"}},
                   "#include <util.h>",
                   ""},
        HeaderCase{"a forwarder to a guarded header",
                   {{"inc/config.h", kConfig}, {"inc/fwd.h", "// moved\n#pragma once\n#include <config.h>\n"}},
                   "#include <fwd.h>",
                   "CONFIG_H"},
        // Discovery looks for the quoted name in the current directory; the
        // compiler opens the one beside the forwarder, and that one decides.
        HeaderCase{"a forwarder's quoted include is checked beside it",
                   {{"config.h", kConfig}, {"inc/sub/config.h", kConfig}, {"inc/sub/fwd.h", "#include \"config.h\"\n"}},
                   "#include <sub/fwd.h>",
                   "CONFIG_H"},
        HeaderCase{"a forwarder whose quoted include the compiler finds elsewhere",
                   {{"config.h", "#ifndef CONFIG_H\n#define CONFIG_H\n#endif\n"},
                    {"inc/sub/config.h", "#ifndef SUB_CONFIG_H\n#define SUB_CONFIG_H\n#endif\n"},
                    {"inc/sub/fwd.h", "#include \"config.h\"\n"}},
                   "#include <sub/fwd.h>",
                   ""},
        HeaderCase{"a forwarder to two different guards",
                   {{"inc/config.h", kConfig},
                    {"inc/other.h", "#ifndef OTHER_H\n#define OTHER_H\n#endif\n"},
                    {"inc/both.h", "#include <config.h>\n#include <other.h>\n"}},
                   "#include <both.h>",
                   ""},
        HeaderCase{"a guard with pragma once and comments",
                   {{"inc/p.h", "// p.h\n#pragma once\n#ifndef P_H // guard\n#define P_H\n#endif /* P_H */\n"}},
                   "#include <p.h>",
                   "P_H"},
        HeaderCase{"a guard with blanks inside the parentheses",
                   {{"inc/u.h", "#if !defined( U_H )\n#define U_H\n#endif\n"}},
                   "#include <u.h>",
                   " U_H "}));

// The header the compiler opens is the one whose guard is used.
TEST_F(VerifiedGuards, TheExactNameWinsOverTheRetryWithH) {
    write("inc/list.h", "#ifndef LIST_H\n#define LIST_H\n#endif\n");
    write("sys/list", "#ifndef _GLIBCXX_LIST\n#define _GLIBCXX_LIST\n#endif\n");
    write("main.c", "#include <list>\n");
    runFileMode("main.c", "inc;sys");
    EXPECT_EQ(withoutCarriageReturns(read("main.c")), wrapped("_GLIBCXX_LIST", "#include <list>"));
    // Where no entry holds the exact name, the retry still finds the ".h" header.
    write("main.c", "#include <list>\n");
    runFileMode("main.c", "inc");
    EXPECT_EQ(withoutCarriageReturns(read("main.c")), wrapped("LIST_H", "#include <list>"));
}

TEST_F(VerifiedGuards, RootedNamesAreFoundWhereTheyPoint) {
    // Found by fuzzing: "//q.h" was looked for in the current directory.
    write("q.h", "#ifndef Q_H\n#define Q_H\n#endif\n");
    write("main.c", "#include \"//q.h\"\n");
    runFileMode("main.c", "");
    EXPECT_EQ(read("main.c"), "#include \"//q.h\"\n");
    const std::string rooted = "#include \"" + (root() / "q.h").generic_string() + "\"";
    write("main.c", rooted + "\n");
    runFileMode("main.c", "");
    EXPECT_EQ(withoutCarriageReturns(read("main.c")), wrapped("Q_H", rooted));
}

TEST_F(VerifiedGuards, PrecompiledHeadersAreComparedByFileNameWithoutCase) {
    write("pch.h", "#ifndef PCH_H\n#define PCH_H\n#endif\n");
    write("main.c", "#include \"PCH.H\"\n");
    auto run = runFileMode("main.c", "");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(read("main.c"), "#include \"PCH.H\"\n");
}

}  // namespace
