// Which macro controls a whole header, read from its text as a compiler
// reads it: the rule that decides whether skipping the header is neutral.
#include <gtest/gtest.h>

#include "analysis/header_facts.h"

namespace {

using vimbo::analysis::examineControl;
using vimbo::analysis::HeaderFacts;

struct ControlCase {
    const char* description;
    std::string text;
    const char* macro;  // "" when nothing controls the whole header
};

void PrintTo(const ControlCase& c, std::ostream* out) { *out << c.description; }

class HeaderControl : public ::testing::TestWithParam<ControlCase> {};

TEST_P(HeaderControl, FindsTheMacroThatEnclosesEverything) {
    HeaderFacts facts;
    examineControl(GetParam().text, facts);
    EXPECT_EQ(facts.controllingMacro(), GetParam().macro) << GetParam().description;
}

const std::string kGuarded = "#ifndef G\n#define G\nint g;\n#endif\n";

INSTANTIATE_TEST_SUITE_P(
    Controlled, HeaderControl,
    ::testing::Values(
        ControlCase{"plain guard", kGuarded, "G"},
        ControlCase{"if !defined(G)", "#if !defined(G)\n#define G\n#endif\n", "G"},
        ControlCase{"if !defined G", "#if ! defined G\n#endif\n", "G"},
        ControlCase{"blanks and tabs around the hash", "  #  ifndef\tG\n\t# endif\n", "G"},
        ControlCase{"digraph hash", "%:ifndef G\n%:endif\n", "G"},
        ControlCase{"comments around and inside", "/* (c) */\n// x\n#ifndef G /* g */\n#endif // G\n/* end */\n", "G"},
        ControlCase{"pragma once beside the guard", "#pragma once\n#ifndef G\n#endif\n#pragma once\n", "G"},
        ControlCase{"CR LF line ends and a final Ctrl-Z", "#ifndef G\r\n#endif\r\n\x1a", "G"},
        ControlCase{"byte-order mark", "\xEF\xBB\xBF#ifndef G\n#endif\n", "G"},
        ControlCase{"nested conditionals with else", "#ifndef G\n#if A\n#else\n#endif\n#endif\n", "G"},
        ControlCase{"an endif inside a comment does not count", "#ifndef G\n/*\n#endif\n*/\nint x;\n#endif\n", "G"},
        ControlCase{"an endif in a continued define does not count", "#ifndef G\n#define M \\\n#endif\n#endif\n", "G"},
        ControlCase{"a guard test continued over two lines", "#ifndef \\\nG\n#endif\n", "G"},
        ControlCase{"quotes and comment openers inside literals", "#ifndef G\nchar* s = \"/*\";\nchar c = '\"';\n#endif\n", "G"},
        ControlCase{"a raw string on one line", "#ifndef G\nauto s = R\"x(/* )\" )x\";\n#endif\n", "G"},
        ControlCase{"an unterminated quote ends with its line", "#ifndef G\n#error don't /* here\n#endif\n", "G"},
        ControlCase{"null directives outside (Boost.Preprocessor)", "# /* x */\n#\n" + kGuarded + "# // y\n", "G"},
        ControlCase{"a NUL between the hash and the name", std::string("#\0ifndef G\n#endif\n", 18), "G"},
        ControlCase{"a directive that begins after a comment spanning lines", "/* a\n*/ #ifndef G\n#endif\n", "G"},
        ControlCase{"if not defined(G), as C++ reads it", "#if not defined(G)\n#endif\n", "G"},
        ControlCase{"lone carriage returns, with no line feed anywhere", "// c\r#ifndef G\r#define G\r#endif\r", "G"}));

// A test spelt "#if not defined G" controls the header in C++ units only.
TEST(HeaderControlFacts, NotForExclamationIsCplusplusOnly) {
    const struct {
        std::string text;
        bool onlyInCplusplus;
    } cases[] = {
        {"#if not defined(G)\n#define G\n#endif\n", true},
        {"#if not defined G\n#define G\n#endif\n", true},
        {"#if !defined(G)\n#define G\n#endif\n", false},
        {kGuarded, false},
        {"#if not defined(G)\n#endif\nint x;\n", false},  // nothing controls it
    };
    for (const auto& c : cases) {
        HeaderFacts facts;
        examineControl(c.text, facts);
        EXPECT_EQ(facts.controlOnlyInCplusplus, c.onlyInCplusplus) << c.text;
    }
}

// What else a header says of its guard: whether it defines it (a guard,
// not a feature test) and whether it has "#pragma once" too.
TEST(HeaderControlFacts, DefinedGuardsAndPragmaOnce) {
    const struct {
        std::string text;
        bool defines, once;
    } cases[] = {
        {kGuarded, true, false},
        {"#ifndef G\n#if X\n#define G 1\n#endif\n#endif\n", true, false},
        {"#ifndef Py_LIMITED_API\nint f;\n#endif\n", false, false},
        {"#ifndef G\n#define GG\n#endif\n", false, false},
        {"#pragma once\n" + kGuarded, true, true},
        {"#ifndef G\n#define G\n#ifdef _MSC_VER\n# pragma once\n#endif\n#endif\n", true, true},
    };
    for (const auto& c : cases) {
        HeaderFacts facts;
        examineControl(c.text, facts);
        EXPECT_EQ(facts.definesGuard, c.defines) << c.text;
        EXPECT_EQ(facts.pragmaOnce, c.once) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    NotControlled, HeaderControl,
    ::testing::Values(
        ControlCase{"no guard", "int x;\n", ""},
        ControlCase{"pragma once alone", "#pragma once\nint x;\n", ""},
        ControlCase{"guard never closed", "#ifndef G\n#define G\n", ""},
        ControlCase{"code after the guard (meant to be included again)", kGuarded + "int again;\n", ""},
        ControlCase{"a directive after the guard", kGuarded + "#undef NDEBUG\n", ""},
        ControlCase{"an include above the guard", "#include <config.h>\n" + kGuarded, ""},
        ControlCase{"X-macro file", "#ifndef ENTRY\n#error define ENTRY\n#endif\nENTRY(a)\nENTRY(b)\n", ""},
        ControlCase{"else at the outer level", "#ifndef G\n#else\n#endif\n", ""},
        ControlCase{"elif at the outer level", "#ifndef G\n#elif X\n#endif\n", ""},
        ControlCase{"a test of more than the macro", "#if !defined(G) && X\n#endif\n", ""},
        ControlCase{"ifdef instead of ifndef", "#ifdef G\n#endif\n", ""},
        ControlCase{"extra tokens after the macro", "#ifndef G H\n#endif\n", ""},
        ControlCase{"two guarded sections", kGuarded + kGuarded, ""},
        ControlCase{"assert.h style", "#ifdef _ASSERT_H\n#undef _ASSERT_H\n#undef assert\n#endif\n#define _ASSERT_H 1\n", ""},
        ControlCase{"a comment left open", "#ifndef G\n#endif\n/* never closed\n", ""},
        ControlCase{"a raw string over lines (C reads it otherwise)", "#ifndef G\nauto s = R\"(\n)\";\n#endif\n", ""},
        ControlCase{"a lone carriage return", "#ifndef G\r#endif\rint x;\n#endif\n", ""},
        ControlCase{"lone carriage returns show code after the guard", "#ifndef G\r#endif\rint x;\r", ""},
        ControlCase{"if nothing defined(G): not only begins the name", "#if nothing defined(G)\n#endif\n", ""},
        ControlCase{"text after a Ctrl-Z", "#ifndef G\n#endif\n\x1aint x;\n", ""},
        ControlCase{"trigraph continuation", "#ifndef G\n#endif ?\?/\nint x;\n", ""},
        ControlCase{"an else behind a comment that spans lines", "#ifndef G\n#/*\n*/else\nint b;\n#endif\n", ""},
        ControlCase{"an endif behind a NUL", "#ifndef G\n#define G\n" + std::string("\0#endif\nint out;\n\0#if 0\n", 23) + "#endif\n", ""},
        ControlCase{"code before a directive that a comment spans to", "int x; /*\n*/ #ifndef G\n#endif\n", ""},
        ControlCase{"empty", "", ""}));

struct ForwardCase {
    const char* description;
    std::string text;
    std::vector<std::string> forwards;  // quoted names as "\"x\"", angle names as "<x>"; empty: no forwarder
};

void PrintTo(const ForwardCase& c, std::ostream* out) { *out << c.description; }

class Forwarders : public ::testing::TestWithParam<ForwardCase> {};

TEST_P(Forwarders, HoldOnlyIncludesOfHeaderNames) {
    HeaderFacts facts;
    examineControl(GetParam().text, facts);
    std::vector<std::string> forwards;
    vimbo::analysis::ForwardedInclude include;
    for (std::size_t at = 0; facts.nextForward(at, include);) {
        const std::string name(include.name);
        forwards.push_back(include.quoted ? "\"" + name + "\"" : "<" + name + ">");
    }
    EXPECT_EQ(facts.forwarder, !GetParam().forwards.empty()) << GetParam().description;
    EXPECT_EQ(forwards, GetParam().forwards) << GetParam().description;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, Forwarders,
    ::testing::Values(
        ForwardCase{"one include", "// moved\n#include <real.h>\n", {"<real.h>"}},
        ForwardCase{"pragma once and two includes", "#pragma once\n#include \"a.h\"\n#include <b/c.h> // c\n",
                    {"\"a.h\"", "<b/c.h>"}},
        ForwardCase{"code beside the include", "#include <real.h>\nint x;\n", {}},
        ForwardCase{"a macro include", "#include REAL\n", {}},
        ForwardCase{"include_next", "#include_next <real.h>\n", {}},
        ForwardCase{"a define", "#define X\n#include <real.h>\n", {}},
        ForwardCase{"includes wrapped in external guards, as a rewrite leaves them",
                    "#ifndef G\n#include <real.h>\n#endif\n# /* null */\n#include \"b.h\"\n", {"<real.h>", "\"b.h\""}},
        ForwardCase{"a guard around more than one include", "#ifndef G\n#include <a.h>\n#include <b.h>\n#endif\n", {}},
        ForwardCase{"a guarded header with a body", "#ifndef G\n#include <real.h>\nint x;\n#endif\n", {}}));

}  // namespace

// The facts keep their texts packed in one string: every step, macro and
// forward comes back as given, whatever its length or bytes, and new control
// facts replace the old ones without touching the steps.
TEST(HeaderFactsTexts, ComeBackAsGiven) {
    using vimbo::analysis::DiscoveryStep;
    using vimbo::analysis::ForwardedInclude;
    const std::string longName(300, 'x'), withNul("a\0b", 3);
    const struct {
        std::vector<std::pair<bool, std::string>> steps;
        std::string macro;
        std::vector<ForwardedInclude> forwards;
    } cases[] = {
        {{}, "", {}},
        {{{false, "G_H"}}, "G_H", {}},  // the candidate is the macro
        {{{false, "G_H"}}, "OTHER", {}},
        {{{true, "<a.h>"}, {true, longName}, {false, "A_H"}}, "", {{true, "b.h", "B_H"}, {false, longName, ""}}},
        {{{true, withNul}}, withNul, {{false, withNul, withNul}}},
    };
    for (const auto& c : cases) {
        HeaderFacts facts;
        for (const auto& [include, text] : c.steps) facts.addStep(include, text);
        facts.setControl("FIRST", {{true, "first.h", ""}});
        facts.setControl(c.macro, c.forwards);
        std::vector<std::pair<bool, std::string>> steps;
        DiscoveryStep step;
        for (std::size_t at = 0; facts.nextStep(at, step);) steps.emplace_back(step.include, std::string(step.text));
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(facts.controllingMacro(), c.macro);
        const HeaderFacts copy = facts;
        std::vector<std::string> forwards, expected;
        ForwardedInclude include;
        for (std::size_t at = 0; copy.nextForward(at, include);)
            forwards.push_back(std::to_string(include.quoted) + std::string(include.name) + "|" + std::string(include.wrapper));
        for (const ForwardedInclude& f : c.forwards)
            expected.push_back(std::to_string(f.quoted) + std::string(f.name) + "|" + std::string(f.wrapper));
        EXPECT_EQ(forwards, expected);
        EXPECT_EQ(copy.hasForwards(), !c.forwards.empty());
    }
}
