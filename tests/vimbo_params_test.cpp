// The settings of a run and their setters.
#include <gtest/gtest.h>

#include "rewrite/settings.h"
#include "support/temp_dir.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::ScopedEnv;

void expectFields(const Vimbo_Params& s, int backup, int in, int out, const std::string& include,
                  const std::string& inputFile, const std::string& line, const std::string& outputFile) {
    EXPECT_EQ(s.makeBackup(), backup);
    EXPECT_EQ(s.inputMode(), in);
    EXPECT_EQ(s.outputMode(), out);
    EXPECT_EQ(s.includePath(), include);
    EXPECT_EQ(s.inputFile(), inputFile);
    EXPECT_EQ(s.lineText(), line);
    EXPECT_EQ(s.outputFile(), outputFile);
}

TEST(VimboParams, DefaultsReadIncludeAtConstruction) {
    ScopedEnv include("INCLUDE", "C:\\INC;D:\\X");
    Vimbo_Params s;
    expectFields(s, 0, 1, 1, "C:\\INC;D:\\X", "", "", "");
    ScopedEnv unset("INCLUDE", nullptr);
    expectFields(s, 0, 1, 1, "C:\\INC;D:\\X", "", "", "");
    expectFields(Vimbo_Params(), 0, 1, 1, "", "", "", "");
}

TEST(VimboParams, SettersMoveBetweenModes) {
    ScopedEnv include("INCLUDE", nullptr);
    Vimbo_Params s("x.c");
    expectFields(s, 0, 1, 1, "", "x.c", "", "x.c");
    s.setOutputFile("y.c");
    expectFields(s, 0, 1, 1, "", "x.c", "", "y.c");
    s.setLineText("#include <a.h>");
    expectFields(s, 0, 0, 0, "", "", "#include <a.h>", "");
    s.setOutputFile("z.c");
    expectFields(s, 0, 0, 1, "", "", "#include <a.h>", "z.c");
    s.setInputFile("w.c");
    expectFields(s, 0, 1, 1, "", "w.c", "", "w.c");
    s.setBackup();
    s.setIncludePath("P");
    expectFields(s, 1, 1, 1, "P", "w.c", "", "w.c");
}

TEST(VimboParams, ResetAndCopyCoverEveryField) {
    Vimbo_Params s("in.c");
    s.setOutputFile("out.c");
    s.setBackup();
    s.setIncludePath("P");
    Vimbo_Params copy(s);
    expectFields(copy, 1, 1, 1, "P", "in.c", "", "out.c");
    Vimbo_Params assigned;
    assigned = s;
    expectFields(assigned, 1, 1, 1, "P", "in.c", "", "out.c");
    ScopedEnv include("INCLUDE", "E");
    s.resetSettings();
    expectFields(s, 0, 1, 1, "E", "", "", "");
    expectFields(copy, 1, 1, 1, "P", "in.c", "", "out.c");
}

}  // namespace
