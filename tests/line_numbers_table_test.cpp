// "#line" after the wraps of a rewritten text: each expected text was
// checked with gcc -E -P, with and without the macros it tests, to expand
// __LINE__ as the original text does.
#include <gtest/gtest.h>

#include <string>

#include "analysis/line_numbers.h"

namespace {

using vimbo::analysis::keepLineNumbers;
using vimbo::analysis::LineOrigins;

struct LinesCase {
    const char* text;     // the rewritten text
    LineOrigins origins;  // each line's number in the original, 0 inserted, minus for a wrapped include
    const char* expected; // null: the text can't keep its numbers
};

TEST(KeepLineNumbers, PutsLineDirectivesWhereTheNumbersMove) {
    const LinesCase cases[] = {
        {"#ifndef A_H\n#include <a.h>\n#endif\nint x = __LINE__;\n", {0, -1, 0, 2},
         "#ifndef A_H\n#include <a.h>\n#endif\n#line 2\nint x = __LINE__;\n"},
        {"#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nint x = __LINE__;\r\n", {0, -1, 0, 2},
         "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n#line 2\r\nint x = __LINE__;\r\n"},
        {"#ifndef A_H\r#include <a.h>\r#endif\rint x = __LINE__;\r", {0, -1, 0, 2},
         "#ifndef A_H\r#include <a.h>\r#endif\r#line 2\rint x = __LINE__;\r"},
        // The last line has no break: the directive takes the file's.
        {"int x = __LINE__;\n#ifndef A_H\n#include <a.h>\n#endif\nint y = __LINE__;", {1, 0, -2, 0, 3},
         "int x = __LINE__;\n#ifndef A_H\n#include <a.h>\n#endif\n#line 3\nint y = __LINE__;"},
        {"#ifndef A_H\n#include <a.h>\n#endif", {0, -1, 0}, "#ifndef A_H\n#include <a.h>\n#endif"},
        {"#ifndef A_H\n#include <a.h>\n#endif\n\n/* c\n d */ int z = __LINE__;\n", {0, -1, 0, 2, 3, 4},
         "#ifndef A_H\n#include <a.h>\n#endif\n#line 2\n\n/* c\n d */ int z = __LINE__;\n"},
        {"#ifndef A_H\n#include <a.h>\n#endif\n/* one\n   two */ int c = __LINE__;\n", {0, -1, 0, 2, 3},
         "#ifndef A_H\n#include <a.h>\n#endif\n#line 2\n/* one\n   two */ int c = __LINE__;\n"},
        {"#ifndef A_H\n#include <a.h>\n#endif\n#define L \\\n __LINE__\nint x = L;\n", {0, -1, 0, 2, 3, 4},
         "#ifndef A_H\n#include <a.h>\n#endif\n#line 2\n#define L \\\n __LINE__\nint x = L;\n"},
        {"#ifdef Q\n#ifndef A_H\n#include <a.h>\n#endif\n#else\nint e = __LINE__;\n#endif\nint v = __LINE__;\n",
         {1, 0, -2, 0, 3, 4, 5, 6},
         "#ifdef Q\n#ifndef A_H\n#include <a.h>\n#endif\n#line 3\n#else\n#line 4\nint e = __LINE__;\n#endif\n"
         "#line 6\nint v = __LINE__;\n"},
        // A skipped group's "#line" counts for nothing: another follows its #endif.
        {"#if 0\n#ifndef A_H\n#include <a.h>\n#endif\n#endif\nint y = __LINE__;\n", {1, 0, -2, 0, 3, 4},
         "#if 0\n#ifndef A_H\n#include <a.h>\n#endif\n#line 3\n#endif\n#line 4\nint y = __LINE__;\n"},
        {"#ifndef G_H\n#define G_H\n#ifndef A_H\n#include <a.h>\n#endif\nint g = __LINE__;\n#endif\n",
         {1, 2, 0, -3, 0, 4, 5},
         "#ifndef G_H\n#define G_H\n#ifndef A_H\n#include <a.h>\n#endif\n#line 4\nint g = __LINE__;\n#endif\n"},
        {"int x;\nint y;\n", {1, 2}, "int x;\nint y;\n"},
        // Numbers the text sets itself, and origins that don't fit the text.
        {"#line 10\n#ifndef A_H\n#include <a.h>\n#endif\nint x;\n", {1, 0, -2, 0, 3}, nullptr},
        {"# 10 \"f.c\"\n#ifndef A_H\n#include <a.h>\n#endif\nint x;\n", {1, 0, -2, 0, 3}, nullptr},
        {"#ifndef A_H\n#include <a.h>\n#endif\nint x;\n", {0, -1, 0}, nullptr},
    };
    for (const LinesCase& c : cases) {
        std::string result = "untouched";
        const bool kept = keepLineNumbers(c.text, c.origins, result);
        EXPECT_EQ(kept, c.expected != nullptr) << c.text;
        EXPECT_EQ(result, c.expected ? c.expected : "untouched") << c.text;
    }
}

}  // namespace
