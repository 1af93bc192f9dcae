// Reading and writing lines both ways: every byte kept, each line's ending
// told apart; and text mode (CR dropped and Ctrl-Z ending input on reading,
// CR LF at every line break on writing).
#include <gtest/gtest.h>

#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "support/temp_dir.h"

namespace {

using vimbo::platform::LineEndings;
using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;
// The system's own file system: these tests read and write real files.
const vimbo::platform::FileSystemOps& disk = vimbo::platform::defaultFileSystemOps();

class TextFiles : public vimbo::test::TempDirTest {
protected:
    std::vector<std::string> lines(const std::string& bytes, std::size_t limit = TextReader::kNoLimit) {
        write("in.txt", bytes);
        TextReader reader(disk, "in.txt", LineEndings::textMode);
        std::vector<std::string> result;
        std::string line;
        while (reader.good() && reader.readLine(line, limit) == TextReader::Status::line) result.push_back(line);
        return result;
    }
};

using Lines = std::vector<std::string>;

TEST_F(TextFiles, ReadingDropsCarriageReturnsAndStopsAtCtrlZ) {
    EXPECT_EQ(lines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(lines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(lines("a\n\n"), (Lines{"a", ""}));
    EXPECT_EQ(lines("a\r\r\nb\rc\n"), (Lines{"a", "bc"}));
    EXPECT_EQ(lines("a\n\r"), (Lines{"a"}));
    EXPECT_EQ(lines("a\nb\x1a" "c\nd\n"), (Lines{"a", "b"}));
    EXPECT_EQ(lines("\x1a" "abc"), Lines{});
    EXPECT_EQ(lines(""), Lines{});
    EXPECT_EQ(lines(std::string("a\0b\n", 4)), (Lines{std::string("a\0b", 3)}));
}

TEST_F(TextFiles, PiecesStopWithoutLookingAtTheNextCharacter) {
    const std::string full(1023, 'x');
    EXPECT_EQ(lines(full + "\nz\n", 1023), (Lines{full, "", "z"}));
    EXPECT_EQ(lines(full + "yy\n", 1023), (Lines{full, "yy"}));
    EXPECT_EQ(lines(std::string(1022, 'x') + "\n", 1023), (Lines{std::string(1022, 'x')}));
    EXPECT_EQ(lines(full + "yy\n"), (Lines{full + "yy"}));
    // Whole lines of any length, across the reader's buffer boundaries.
    const std::string huge(100000, 'h');
    EXPECT_EQ(lines(huge + "\r\n" + huge), (Lines{huge, huge}));
}

TEST_F(TextFiles, DroppedTextIsReported) {
    struct Case {
        std::string bytes;
        bool dropped;
    } cases[] = {{"a\r\nb\r\n", false}, {"a\nb\x1a", false}, {"a\r\x1a", false}, {"a\r", false},
                 {"a\rb\n", true},      {"a\x1a\n", true},   {"a\x1a" "b", true}, {"a\r\r\n", true}};
    for (const Case& c : cases) {
        write("in.txt", c.bytes);
        TextReader reader(disk, "in.txt", LineEndings::textMode);
        std::string line;
        while (reader.readLine(line) == TextReader::Status::line) {
        }
        EXPECT_EQ(reader.droppedText(), c.dropped) << ::testing::PrintToString(c.bytes);
    }
}

TEST_F(TextFiles, WritingPutsCrLfAtEveryBreak) {
    {
        TextWriter writer(disk, "out.txt", TextWriter::Create::newOnly, LineEndings::textMode);
        ASSERT_TRUE(writer.isOpen());
        writer.write("a\nb");
        writer.write("\n\n");
        EXPECT_TRUE(writer.close());
    }
    EXPECT_EQ(read("out.txt"), "a\r\nb\r\n\r\n");
    TextWriter again(disk, "out.txt", TextWriter::Create::newOnly);
    EXPECT_FALSE(again.isOpen()) << "a new-only file must not replace an existing one";
    TextWriter truncating(disk, "out.txt", TextWriter::Create::truncate, LineEndings::textMode);
    ASSERT_TRUE(truncating.isOpen());
    truncating.write("z\n");
    EXPECT_TRUE(truncating.close());
    EXPECT_EQ(read("out.txt"), "z\r\n");
}

// Lines with their endings, joined again, give back every byte.
TEST_F(TextFiles, KeptBytesSplitIntoLinesAndEndings) {
    const std::string huge(100000, 'h');
    struct Case {
        std::string bytes;
        Lines expected;  // each line followed by its ending in brackets
        std::size_t limit = TextReader::kNoLimit;
    } cases[] = {
        {"a\r\nb\n", {"a[\r\n]", "b[\n]"}},
        {"a\nb", {"a[\n]", "b[]"}},
        {"a\n\n", {"a[\n]", "[\n]"}},
        {"a\r\r\nb\rc\n", {"a\r[\r\n]", "b\rc[\n]"}},
        {"a\n\r", {"a[\n]", "\r[]"}},
        {"a\x1a" "b\n\x1a", {"a\x1a" "b[\n]", "\x1a[]"}},
        {std::string("a\0b\r\n", 5), {std::string("a\0b[\r\n]", 7)}},
        {"", {}},
        {huge + "\r\n" + huge, {huge + "[\r\n]", huge + "[]"}},
        {"abcd\r\n", {"ab[]", "cd[]", "[\r\n]"}, 2},
    };
    for (const Case& c : cases) {
        write("in.txt", c.bytes);
        TextReader reader(disk, "in.txt", LineEndings::kept);
        Lines got;
        std::string line, joined;
        while (reader.readLine(line, c.limit) == TextReader::Status::line) {
            got.push_back(line + "[" + reader.ending() + "]");
            joined += line + reader.ending();
        }
        EXPECT_EQ(got, c.expected) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(joined, c.bytes);
        EXPECT_FALSE(reader.droppedText());
    }
    {
        TextWriter writer(disk, "out.txt", TextWriter::Create::truncate, LineEndings::kept);
        writer.write("a\nb\r\n\rc");
        EXPECT_TRUE(writer.close());
    }
    EXPECT_EQ(read("out.txt"), "a\nb\r\n\rc");
}

TEST_F(TextFiles, OnlyRegularFilesOpen) {
    vimbo::test::fs::create_directories(root() / "dir");
    EXPECT_FALSE(TextReader(disk, "dir").isOpen());
    EXPECT_FALSE(TextReader(disk, "missing").isOpen());
    EXPECT_FALSE(TextWriter(disk, "dir", TextWriter::Create::truncate).isOpen());
    write("sub/f.txt", "x\n");
    EXPECT_TRUE(TextReader(disk, "sub\\f.txt").isOpen()) << "backslashes reach the file system as separators";
}

}  // namespace
