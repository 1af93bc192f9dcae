// Following the macros that the file being rewritten tests.
#include <gtest/gtest.h>

#include "analysis/guard_tracking.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::asWritten;

struct TrackCase {
    const char* line;
    const char* macro;  // the macro the line tests; "" when none (the last one then stays)
};

void PrintTo(const TrackCase& c, std::ostream* out) { *out << ::testing::PrintToString(std::string(c.line)); }

class TrackIfndef : public ::testing::TestWithParam<TrackCase> {};

TEST_P(TrackIfndef, NamesTheTestedMacroOrNone) {
    EXPECT_EQ(vimbo::analysis::testedMacro(GetParam().line), GetParam().macro) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TrackIfndef,
    ::testing::Values(TrackCase{"#ifndef X", "X"}, TrackCase{"#ifndef X // note", "X"},
                      TrackCase{"#ifndef NDEBUG", "NDEBUG"}, TrackCase{"#if !defined(Y)", "Y"},
                      TrackCase{"#if !defined( Y )", " Y "}, TrackCase{"  #ifndef   X  ", "X"},
                      TrackCase{"// #ifndef X", ""}, TrackCase{"/*x*/ #ifndef X", ""},
                      TrackCase{"/* #ifndef X */", ""}, TrackCase{"x /* #ifndef X", ""},
                      TrackCase{" * #ifndef X", "X"}, TrackCase{"#if defined(X)", ""},
                      TrackCase{"#ifdef X", ""}, TrackCase{"#endif", ""}, TrackCase{"#else", ""},
                      TrackCase{"#define X", ""}, TrackCase{"", ""}, TrackCase{"#ifndef", ""},
                      TrackCase{"#ifndef ", ""}, TrackCase{"#ifndef\tX", ""},
                      TrackCase{"#ifndef X\t/* guard */", "X"}, TrackCase{"#ifndef X/*guard*/", "X"},
                      TrackCase{"#ifndef lower_h", "lower_h"}, TrackCase{"#if FOO", ""},
                      TrackCase{"#if #ifndef Z", ""}, TrackCase{"a b #ifndef Z", "Z"}));

struct SequenceCase {
    const char* description;
    const char* text;  // of main.c, whose include of a.h is guarded by A_H
    bool wrapped;
};

void PrintTo(const SequenceCase& c, std::ostream* out) { *out << c.description; }

class TrackIfndefSequence : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<SequenceCase> {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    }
};

// File mode leaves alone an include whose guard is the last macro tested
// above it, however far above.
TEST_P(TrackIfndefSequence, LastTestedMacroDecides) {
    const SequenceCase& c = GetParam();
    write("main.c", c.text);
    const vimbo::test::FileRun run = vimbo::test::runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, c.wrapped ? 1 : 0);
    const std::string text = c.text;
    const std::string::size_type at = text.find("#include <a.h>\n");
    EXPECT_EQ(read("main.c"), c.wrapped ? asWritten(text.substr(0, at) + "#ifndef A_H\n" + text.substr(at) + "#endif\n")
                                        : text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TrackIfndefSequence,
    ::testing::Values(
        SequenceCase{"never cleared by #endif or #undef", "#ifndef A_H\n#endif\n#undef A_H\n#include <a.h>\n",
                     false},
        SequenceCase{"right above", "#ifndef A_H\n#include <a.h>\n", false},
        SequenceCase{"a later test replaces it", "#ifndef A_H\n#endif\n#ifndef B_H\n#include <a.h>\n", true},
        SequenceCase{"nothing tested", "#endif\n#undef A_H\n#include <a.h>\n", true}));

class TrackIfndefLineMode : public vimbo::test::TempDirTest {};

// Line mode has no file around its line: what the processor's last file
// tested counts for nothing there.
TEST_F(TrackIfndefLineMode, IgnoresWhatFileModeTracked) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("main.c", "#ifndef A_H\n#include <a.h>\n");
    Vimbo_Params settings("main.c");
    settings.setIncludePath("inc");
    Vimbo processor(&settings, {}, {}, vimbo::test::fileSystem());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(processor.processFile(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    settings.setLineText("#include <a.h>");
    EXPECT_EQ(processor.processLine(), "#ifndef A_H\n#include <a.h>\n#endif\n");
}

}  // namespace
