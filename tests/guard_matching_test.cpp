// The fuzzy test that tells a header's own guard from its other tests.
#include <gtest/gtest.h>

#include "analysis/guard_matching.h"

namespace {

struct MatchCase {
    std::string baseName;
    std::string macro;
    bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* out) { *out << c.baseName << " / " << c.macro; }

class GuardMatchesFile : public ::testing::TestWithParam<MatchCase> {};

TEST_P(GuardMatchesFile, FollowsTheWorkedExamples) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(vimbo::analysis::guardMatchesFile(c.baseName, c.macro), c.matches) << c.baseName << " / " << c.macro;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, GuardMatchesFile,
    ::testing::Values(MatchCase{"MYFILE", "__MYFILE_H", true}, MatchCase{"MY_FILE", "MYFILE_H", true},
                      MatchCase{"CONFIG", "_CONFIG_H_INCLUDED", true}, MatchCase{"STDIO", "_INC_STDIO", true},
                      MatchCase{"UTIL", "DEBUG", true}, MatchCase{"A", "XYZ", true},
                      MatchCase{"ABC", std::string(12, 'X') + "ABC", true},
                      MatchCase{"ABC", std::string(13, 'X') + "ABC", false}, MatchCase{"FOO", "BAR_H", false},
                      MatchCase{"MYFILE", "NULL", false}, MatchCase{"MAIN", "WIN32_LEAN_AND_MEAN", false},
                      MatchCase{"STRING", "__cplusplus", false}, MatchCase{"STRING", "__CPLUSPLUS", false},
                      MatchCase{"ANY", "", true}, MatchCase{"", "BAR_H", true},
                      MatchCase{"", "__cplusplus", false},
                      // Letters are compared upper-cased; the base name comes upper-cased.
                      MatchCase{"FOO", "foo_h", true}, MatchCase{"X.TAB", "X_TAB_H", true},
                      MatchCase{"___", "ZZZZZZZZ", true}));

}  // namespace
