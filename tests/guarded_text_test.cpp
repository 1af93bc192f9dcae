// The text that replaces an include line.
#include <gtest/gtest.h>

#include "analysis/guarded_text.h"

namespace {

struct WrapCase {
    const char* line;
    const char* guard;
    const char* lastIfndef;
    const char* expected;
    bool setsChanged;
};

void PrintTo(const WrapCase& c, std::ostream* out) { *out << ::testing::PrintToString(std::string(c.line)); }

class WrapIncludeLine : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapIncludeLine, WrapsOrPassesThrough) {
    const WrapCase& c = GetParam();
    bool changed = false;
    EXPECT_EQ(vimbo::analysis::wrapIncludeLine(c.line, c.guard, c.lastIfndef, &changed), c.expected);
    EXPECT_EQ(changed, c.setsChanged);
    // Without a flag the text is the same and nothing else is written.
    EXPECT_EQ(vimbo::analysis::wrapIncludeLine(c.line, c.guard, c.lastIfndef, nullptr), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, WrapIncludeLine,
    ::testing::Values(
        WrapCase{"#include <a.h>", "A_H", "", "#ifndef A_H\n#include <a.h>\n#endif\n", true},
        WrapCase{"#include <a.h>", "", "", "#include <a.h>\n", false},
        WrapCase{"#include <a.h>", "A_H", "A_H", "#include <a.h>\n", false},
        WrapCase{"#include <a.h>", "a_h", "A_H", "#ifndef a_h\n#include <a.h>\n#endif\n", true},
        WrapCase{"  #include \"a.h\" /* kept */", "A_H", "",
                 "#ifndef A_H\n  #include \"a.h\" /* kept */\n#endif\n", true},
        WrapCase{"#include <a.h> // note /* x", "A_H", "", "#ifndef A_H\n#include <a.h> // note /* x\n#endif\n",
                 true},
        WrapCase{"#include <a.h> /* c */ /* d */", "A_H", "",
                 "#ifndef A_H\n#include <a.h> /* c */ /* d */\n#endif\n", true},
        WrapCase{" UTIL_H ", " UTIL_H ", "", "#ifndef  UTIL_H \n UTIL_H \n#endif\n", true},
        // The test written for " UTIL_H " reads back as UTIL_H: already guarded.
        WrapCase{"#include \"util.h\"", " UTIL_H ", "UTIL_H", "#include \"util.h\"\n", false},
        // A block comment left open would swallow the "#endif".
        WrapCase{"#include <a.h> /* starts here", "A_H", "", "#include <a.h> /* starts here\n", false},
        WrapCase{"#include <a.h> /* c */ /* open", "A_H", "", "#include <a.h> /* c */ /* open\n", false}));

TEST(WrapIncludeLineFlag, IsNeverCleared) {
    bool changed = true;
    EXPECT_EQ(vimbo::analysis::wrapIncludeLine("#include <a.h>", "", "", &changed), "#include <a.h>\n");
    EXPECT_TRUE(changed);
}

}  // namespace
