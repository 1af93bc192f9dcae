// Following the macros that the file being rewritten tests.
#include <gtest/gtest.h>

#include "rewrite/processor.h"

namespace {

struct TrackCase {
    const char* line;
    const char* after;  // lastIfndefMacro after the line, starting from "OLD"
};

void PrintTo(const TrackCase& c, std::ostream* out) { *out << ::testing::PrintToString(std::string(c.line)); }

class TrackIfndef : public ::testing::TestWithParam<TrackCase> {};

TEST_P(TrackIfndef, UpdatesOrKeepsTheLastMacro) {
    Vimbo_Params settings;
    Vimbo processor(&settings);
    processor.lastIfndefMacro = "OLD";
    processor.trackIfndef(GetParam().line);
    EXPECT_EQ(processor.lastIfndefMacro, GetParam().after) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TrackIfndef,
    ::testing::Values(TrackCase{"#ifndef X", "X"}, TrackCase{"#ifndef X // note", "X"},
                      TrackCase{"#ifndef NDEBUG", "NDEBUG"}, TrackCase{"#if !defined(Y)", "Y"},
                      TrackCase{"#if !defined( Y )", " Y "}, TrackCase{"  #ifndef   X  ", "X"},
                      TrackCase{"// #ifndef X", "OLD"}, TrackCase{"/*x*/ #ifndef X", "OLD"},
                      TrackCase{"/* #ifndef X */", "OLD"}, TrackCase{"x /* #ifndef X", "OLD"},
                      TrackCase{" * #ifndef X", "X"}, TrackCase{"#if defined(X)", "OLD"},
                      TrackCase{"#ifdef X", "OLD"}, TrackCase{"#endif", "OLD"}, TrackCase{"#else", "OLD"},
                      TrackCase{"#define X", "OLD"}, TrackCase{"", "OLD"}, TrackCase{"#ifndef", "OLD"},
                      TrackCase{"#ifndef ", "OLD"}, TrackCase{"#ifndef\tX", "OLD"},
                      TrackCase{"#ifndef X\t/* guard */", "X"}, TrackCase{"#ifndef X/*guard*/", "X"},
                      TrackCase{"#ifndef lower_h", "lower_h"}, TrackCase{"#if FOO", "OLD"},
                      TrackCase{"#if #ifndef Z", "OLD"}, TrackCase{"a b #ifndef Z", "Z"}));

TEST(TrackIfndefSequence, IsNeverClearedAndLineModeLeavesItAlone) {
    Vimbo_Params settings;
    Vimbo processor(&settings);
    processor.trackIfndef("#ifndef A_H");
    processor.trackIfndef("#endif");
    processor.trackIfndef("#undef A_H");
    EXPECT_EQ(processor.lastIfndefMacro, "A_H");
    settings.setLineText("#ifndef B_H");
    processor.processLine();
    EXPECT_EQ(processor.lastIfndefMacro, "A_H");
}

}  // namespace
