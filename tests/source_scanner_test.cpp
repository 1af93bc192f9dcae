// The lines the preprocessor takes for directives, and the code of each line
// with its comments as blanks, as the scanner follows a text line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/source_scanner.h"

namespace {

using vimbo::analysis::readDirective;
using vimbo::analysis::ScannedLine;
using vimbo::analysis::SourceScanner;

// The text's lines without their breaks, "\r\n" as "\n", as files are read.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// "N:name" for each logical line that begins clean on line N and is a
// directive; then "open" and "uncertain" when the scanner ends so.
std::string directivesOf(const std::string& text) {
    SourceScanner scanner;
    std::string found, logical;
    std::size_t first = 0;
    bool clean = false;
    const std::vector<std::string> lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ScannedLine scanned = scanner.feed(lines[i]);
        if (logical.empty() && first == 0) {
            first = i + 1;
            clean = scanned.startsClean;
        }
        logical += scanned.code;
        if (scanned.joinsNext) continue;
        std::string_view name, rest;
        if (clean && readDirective(logical, name, rest))
            found += (found.empty() ? "" : " ") + std::to_string(first) + ":" + std::string(name);
        logical.clear();
        first = 0;
    }
    if (scanner.open()) found += found.empty() ? "open" : " open";
    if (scanner.uncertain()) found += found.empty() ? "uncertain" : " uncertain";
    return found;
}

// Which lines define a macro was checked with gcc -E -dM (-x c++ for raw strings).
TEST(SourceScanner, FindsTheDirectivesThePreprocessorSees) {
    const std::pair<const char*, const char*> cases[] = {
        {"#define A\n  #  define B\n", "1:define 2:define"},
        {"/* #define A */\n// #define B\n#define C", "3:define"},
        {"x; #define A\n#define B", "2:define"},
        {"%:define A\n", "1:define"},
        {"# /* c */ define A\n", "1:define"},
        // A comment over lines is one blank: the directive behind it is seen.
        {"/* x\n#define A\n*/ #define B\n", "1:define"},
        {"  /* a */ # /* b\n */ define A\n", "1:define"},
        {"#define A /* open\n#define B */ x\n", "1:define"},
        {"#def\\\nine A\n", "1:define"},
        {"#define A \\\r\n B\r\n#define C\r\n", "1:define 3:define"},
        {"#define A \\  \n B\n#define C\n", "1:define 3:define"},
        {"// comment \\\n#define A\n#define B\n", "3:define"},
        {"char* s = \"abc\\\n#define A\";\n#define B\n", "3:define"},
        {"#define A '\"'\n#define B\n", "1:define 2:define"},
        {"#define S \"#define X\"\n", "1:define"},
        {"#include <a//b.h>\n#define B\n", "1:include 2:define"},
        {"#include \"a/*b.h\"\n#define B\n", "1:include 2:define"},
        {"#if 1\n#if 0\n#elif 1\n#else\n#endif\n#endif\n", "1:if 2:if 3:elif 4:else 5:endif 6:endif"},
        {"#ifdef A\n# elif B /* x\n */\n #endif\n", "1:ifdef 2:elif 4:endif"},
        {"/* unterminated\n#define A\n", "open"},
        {"#define A\n/* unterminated", "1:define open"},
        {"const char* r = R\"x(\n#define A\n)x\";\n#define B\n", "4:define uncertain"},
        {"const char* r = R\"x(a)\" )\";\n#define A\n)x\";\n#define B\n", "4:define uncertain"},
        {"const char* r = R\"(#include <a.h>)\";\n#define B\n", "2:define"},
        {"const char* r = R\"x(\n#define A\n", "open uncertain"},
        {"?\?=define A\n", "uncertain"},
        {"#\n# 12 \"f.c\"\n", "1: 2:12"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(directivesOf(text), expected) << text;
}

TEST(SourceScanner, BlanksCommentsOutsideLiteralsAndHeaderNames) {
    const std::pair<std::vector<const char*>, std::vector<const char*>> cases[] = {
        {{"a /* b */ c"}, {"a   c"}},
        {{"#include <a//b.h> // x"}, {"#include <a//b.h>  "}},
        {{"s = \"/* no */\"; // y"}, {"s = \"/* no */\";  "}},
        {{"'/' / 2 // z"}, {"'/' / 2  "}},
        {{"x /* a", "b */ y"}, {"x  ", " y"}},
        {{"#define A \\", "  B"}, {"#define A ", "  B"}},
        {{"R\"d(/* kept */)d\" // gone"}, {"R\"d(/* kept */)d\"  "}},
    };
    for (const auto& [lines, codes] : cases) {
        SourceScanner scanner;
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(scanner.feed(lines[i]).code, codes[i]) << lines[i];
    }
}

TEST(SourceScanner, TellsWhereLinesBeginAndEndClean) {
    // Each line's flags: s starts clean, e ends clean, c continues, j joins the next.
    const std::pair<const char*, const char*> cases[] = {
        {"#define A\n", "se"},
        {"a \\\nb\n", "scj e"},
        {"/* a\nb\nc */ d\n", "sj j e"},
        {"\"abc\nd\n", "s se"},
        {"R\"(a\nb)\"\n", "s e"},
        {"x // y \\\nz\n", "scj e"},
    };
    for (const auto& [text, expected] : cases) {
        SourceScanner scanner;
        std::string flags;
        for (const std::string& line : linesOf(text)) {
            const ScannedLine scanned = scanner.feed(line);
            std::string one = std::string(scanned.startsClean ? "s" : "") + (scanned.endsClean ? "e" : "") +
                              (scanned.continues ? "c" : "") + (scanned.joinsNext ? "j" : "");
            flags += (flags.empty() ? "" : " ") + (one.empty() ? "." : one);
        }
        EXPECT_EQ(flags, expected) << text;
    }
}

}  // namespace
