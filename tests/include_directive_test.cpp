// Reading the name and kind of an include directive.
#include <gtest/gtest.h>

#include "rewrite/processor.h"

namespace {

using vimbo::analysis::IncludeKind;
using vimbo::analysis::includeAngle;
using vimbo::analysis::includeNone;
using vimbo::analysis::includeQuoted;

struct DirectiveCase {
    const char* line;
    const char* name;
    IncludeKind kind;
};

void PrintTo(const DirectiveCase& c, std::ostream* out) { *out << ::testing::PrintToString(std::string(c.line)); }

class ParseIncludeDirective : public ::testing::TestWithParam<DirectiveCase> {};

TEST_P(ParseIncludeDirective, YieldsNameAndKind) {
    const DirectiveCase& c = GetParam();
    IncludeKind kind = includeQuoted;
    EXPECT_EQ(Vimbo::parseIncludeDirective(c.line, kind), c.name) << c.line;
    EXPECT_EQ(kind, c.kind) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseIncludeDirective,
    ::testing::Values(
        DirectiveCase{"#include <stdio.h>", "stdio.h", includeAngle},
        DirectiveCase{"#include \"util.h\"", "util.h", includeQuoted},
        DirectiveCase{"#include FOO", "FOO", includeAngle},
        DirectiveCase{"#include FOO // note", "FOO", includeAngle},
        DirectiveCase{"   #include <a.h>", "a.h", includeAngle},
        DirectiveCase{"printf(\"#include <a.h>\\n\");", "a.h", includeAngle},
        DirectiveCase{"// #include <a.h>", "", includeNone},
        DirectiveCase{"/* #include <a.h> */", "", includeNone},
        DirectiveCase{"/* old */ #include <a.h> // new", "a.h", includeAngle},
        DirectiveCase{"#include <a.h> // x", "a.h", includeAngle},
        DirectiveCase{"x #include <a.h> // x", "a.h", includeAngle},
        DirectiveCase{"#include", "", includeNone},
        DirectiveCase{"#include \t \t", "", includeNone},
        DirectiveCase{"#include<a.h>", "a.h", includeAngle},
        DirectiveCase{"#includea.h", "a.h", includeAngle},
        DirectiveCase{"#include\ta.h\tz", "a.h", includeAngle},
        DirectiveCase{"# include <a.h>", "", includeNone},
        DirectiveCase{"#INCLUDE <a.h>", "", includeNone},
        DirectiveCase{"#include <a.h", "a.h", includeAngle},
        DirectiveCase{"#include \"a.h", "a.h", includeQuoted},
        DirectiveCase{"#include \"my file.h\"", "my file.h", includeQuoted},
        DirectiveCase{"#include \"\"", "", includeQuoted},
        DirectiveCase{"#include <>", "", includeAngle},
        DirectiveCase{"#include <sys/types.h> extra", "sys/types.h", includeAngle},
        DirectiveCase{"", "", includeNone},
        DirectiveCase{"int x; /* c */", "", includeNone},
        DirectiveCase{"#include #include <a.h>", "#include", includeAngle}));

TEST(ToBackslashes, TurnsEverySlash) {
    std::string path = "a/b\\c/";
    Vimbo::toBackslashes(path);
    EXPECT_EQ(path, "a\\b\\c\\");
    std::string empty;
    Vimbo::toBackslashes(empty);
    EXPECT_EQ(empty, "");
}

}  // namespace
