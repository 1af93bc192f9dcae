// Settings from command-line style arguments, their summary, and run.
#include <gtest/gtest.h>

#include <sstream>

#include "rewrite/summary.h"
#include "rewrite/processor.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::asWritten;

using vimbo::test::ScopedEnv;

struct ArgumentCase {
    std::vector<const char*> args;
    int backup, inputMode, outputMode;
    const char *include, *inputFile, *lineText, *outputFile;
};

void PrintTo(const ArgumentCase& c, std::ostream* out) {
    *out << "{";
    for (const char* arg : c.args) *out << " \"" << arg << "\"";
    *out << " }";
}

class ArgumentVector : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentVector, BuildsTheSettings) {
    ScopedEnv include("INCLUDE", "ENV");
    const ArgumentCase& c = GetParam();
    Vimbo_Params s(static_cast<int>(c.args.size()), c.args.data());
    EXPECT_EQ(s.makeBackup(), c.backup);
    EXPECT_EQ(s.inputMode(), c.inputMode);
    EXPECT_EQ(s.outputMode(), c.outputMode);
    EXPECT_EQ(s.includePath(), c.include);
    EXPECT_EQ(s.inputFile(), c.inputFile);
    EXPECT_EQ(s.lineText(), c.lineText);
    EXPECT_EQ(s.outputFile(), c.outputFile);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, ArgumentVector,
    ::testing::Values(ArgumentCase{{}, 0, 1, 1, "ENV", "", "", ""},
                      ArgumentCase{{"-i"}, 0, 1, 1, "ENV", "", "", ""},
                      ArgumentCase{{"-T"}, 0, 0, 0, "ENV", "", "", ""},
                      ArgumentCase{{"a.c", "b.c", "c.c"}, 0, 1, 1, "ENV", "a.c", "", "c.c"},
                      ArgumentCase{{"-b", "src.c", "out.c"}, 1, 1, 1, "ENV", "src.c", "", "out.c"},
                      ArgumentCase{{"-B", "-I", "P;Q", "x.c"}, 1, 1, 1, "P;Q", "x.c", "", "x.c"},
                      ArgumentCase{{"-t", "#include", "<a.h>"}, 0, 0, 0, "ENV", "", "#include <a.h>", ""},
                      ArgumentCase{{"x.c", "-t", "a", "-b"}, 0, 0, 0, "ENV", "", "a -b", ""},
                      ArgumentCase{{"-i", "-b"}, 0, 1, 1, "-b", "", "", ""},
                      ArgumentCase{{"-bb", "-ib", "--b"}, 0, 1, 1, "ENV", "-bb", "", "--b"},
                      ArgumentCase{{"-i", "", "f.c"}, 0, 1, 1, "", "f.c", "", "f.c"},
                      ArgumentCase{{"f.c", "-i"}, 0, 1, 1, "ENV", "f.c", "", "f.c"}));

std::string summaryOf(const Vimbo_Params& settings) {
    std::ostringstream out;
    EXPECT_EQ(&writeSummary(out, settings), &out);
    return out.str();
}

TEST(Summary, OfDefaultsByteForByte) {
    ScopedEnv include("INCLUDE", nullptr);
    EXPECT_EQ(summaryOf(Vimbo_Params()),
              "Korvane\n  Include...... \n  Create .bak.. no\n  Input........ \n  Output....... \n\n");
}

TEST(Summary, OfFileAndLineSettings) {
    ScopedEnv include("INCLUDE", nullptr);
    const char* file[] = {"-b", "-i", "C:\\INC", "in.c", "out.c"};
    EXPECT_EQ(summaryOf(Vimbo_Params(5, file)),
              "Korvane\n  Include...... C:\\INC\n  Create .bak.. yes\n  Input........ in.c\n"
              "  Output....... out.c\n\n");
    const char* line[] = {"-t", "#include", "<a.h>"};
    EXPECT_EQ(summaryOf(Vimbo_Params(3, line)),
              "Korvane\n  Include...... \n  Create .bak.. no\n  Input........ #include <a.h>\n"
              "  Output....... stdout\n\n");
}

class Run : public vimbo::test::TempDirTest {
protected:
    std::string run(std::vector<const char*> args) {
        Vimbo_Params settings(static_cast<int>(args.size()), args.data());
        Vimbo processor(&settings);
        ::testing::internal::CaptureStdout();
        processor.run();
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(Run, DispatchesOnTheInputMode) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    EXPECT_EQ(run({}), "Error: can't open input file.\n");
    EXPECT_EQ(run({"-T"}), "\n");
    EXPECT_EQ(run({"-i", "inc", "-t", "#include", "<a.h>"}), "#ifndef A_H\n#include <a.h>\n#endif\n");
    write("m.c", "#include <a.h>\n");
    EXPECT_EQ(run({"-i", "inc", "m.c"}), "");
    EXPECT_EQ(read("m.c"), asWritten("#ifndef A_H\n#include <a.h>\n#endif\n"));
}

}  // namespace
