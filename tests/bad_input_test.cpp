// Inputs nobody should write but somebody will: nothing may crash, hang or
// read out of bounds, and the answer must keep the shape it always has.
#include <gtest/gtest.h>

#include <random>

#include "rewrite/scratch_file.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::asWritten;

class BadInput : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        // A whole guard: only a guard that encloses the header is used.
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("inc/dir.h/x", "");
        write("inc/empty.h", "");
        static const char binary[] = "\x7f" "ELF\0\0\x01\xff\xfe\n\x1b[0m";
        write("inc/bin.h", std::string(binary, sizeof binary - 1));
    }
    std::string line(const std::string& text) {
        Vimbo_Params settings;
        settings.setLineText(text);
        settings.setIncludePath("inc;.");
        Vimbo processor(&settings);
        return processor.processLine();
    }
};

TEST_F(BadInput, StrangeLinesComeBackUnchanged) {
    const std::string cases[] = {
        std::string(1 << 20, 'x'),
        "#include " + std::string(1 << 20, '<'),
        "#include \"" + std::string(1 << 20, 'n'),
        std::string(5000, '\t') + "#include" + std::string(5000, '\t'),
        "#include <" + std::string(300, '"') + std::string(300, '>'),
        "#include <\xc3\xa9\xff\xfe.h>",
        std::string("#include <a\0.h>", 14),
        "#include <dir.h>",
        "#include <empty.h>",
        "#include <bin.h>",
        "#include \"\\\"",
        "#include <:>",
        "#include <\\>",
        "#include <;;;>",
    };
    for (const std::string& text : cases) EXPECT_EQ(line(text), text + "\n") << text.substr(0, 60);
}

TEST_F(BadInput, RandomLinesKeepTheShapeOfAnAnswer) {
    std::mt19937 random(20261207);
    const std::string alphabet = "#include <>\"/\\*;: \t\r\n\x1a.ah_ifndef!()";
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int length = static_cast<int>(random() % 60);
        for (int j = 0; j < length; ++j)
            text += random() % 8 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        const std::string result = line(text);
        const bool unchanged = result == text + "\n";
        const bool wrapped = result.rfind("#ifndef ", 0) == 0 && result.size() > text.size() &&
                             result.compare(result.size() - text.size() - 8, std::string::npos,
                                            "\n" + text + "\n#endif\n") == 0;
        EXPECT_TRUE(unchanged || wrapped) << ::testing::PrintToString(text);
    }
}

TEST_F(BadInput, FileModeCarriesBinaryAndHugeLines) {
    const std::string huge(1 << 20, 'z');
    const std::string binary("\x00\x01\x02\xff", 4);
    write("main.c", binary + "\n#include <a.h>\n" + huge + "\n");
    auto run = vimbo::test::runFileMode("main.c", "inc");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(read("main.c"), binary + asWritten("\n#ifndef A_H\n#include <a.h>\n#endif\n" + huge + "\n"));
}

TEST_F(BadInput, NullSettingsRunNothing) {
    Vimbo processor;
    ::testing::internal::CaptureStdout();
    const FileRunResult result = processor.run();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(result.failed());
    EXPECT_EQ(result.message, "");
    EXPECT_FALSE(result.prepared);
    EXPECT_FALSE(exists(kScratchFileName));
}

}  // namespace
