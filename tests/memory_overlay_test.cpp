// The in-memory layer that dry runs go through: reads see earlier writes,
// and the disk never changes.
#include <gtest/gtest.h>

#include "platform/memory_overlay.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::test::asWritten;

using vimbo::platform::fileSystem;
using vimbo::platform::MemoryOverlay;
using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

class Overlay : public vimbo::test::TempDirTest {};

std::string firstLine(const std::string& path) {
    TextReader reader(path);
    std::string line;
    reader.readLine(line);
    return reader.isOpen() ? line : "<closed>";
}

TEST_F(Overlay, KeepsEveryChangeInMemory) {
    write("dir/a.txt", "old\n");
    vimbo::test::fs::create_directories(root() / "sub");
    {
        MemoryOverlay overlay;
        {
            TextWriter writer("new.txt", TextWriter::Create::newOnly);
            writer.write("fresh\n");
            EXPECT_TRUE(writer.close());
        }
        EXPECT_TRUE(fileSystem().exists("new.txt"));
        EXPECT_EQ(firstLine("new.txt"), "fresh");
        EXPECT_TRUE(fileSystem().remove("dir\\a.txt"));
        EXPECT_FALSE(fileSystem().exists("dir/a.txt")) << "one key whatever the spelling";
        EXPECT_EQ(firstLine("dir/a.txt"), "<closed>");
        EXPECT_TRUE(fileSystem().rename("new.txt", "dir/a.txt"));
        EXPECT_EQ(firstLine("./dir/../dir/a.txt"), "fresh");
        EXPECT_FALSE(fileSystem().exists("new.txt"));
        ASSERT_NE(overlay.changed("dir/a.txt"), nullptr);
        EXPECT_EQ(overlay.changed("dir/a.txt")->content, asWritten("fresh\n"));
        EXPECT_FALSE(fileSystem().remove("sub")) << "a directory is no file to remove";
        EXPECT_FALSE(TextWriter("sub", TextWriter::Create::truncate).isOpen());
        EXPECT_FALSE(TextWriter("dir/a.txt", TextWriter::Create::newOnly).isOpen());
    }
    EXPECT_EQ(read("dir/a.txt"), "old\n");
    EXPECT_FALSE(exists("new.txt"));
    // The real operations are back.
    EXPECT_TRUE(fileSystem().remove("dir/a.txt"));
    EXPECT_FALSE(exists("dir/a.txt"));
}

// Each overlay keeps its state in itself and lies over the table it found:
// one put over another sees the other's files and changes none of them.
TEST_F(Overlay, OverlaysNestWithoutMixingTheirFiles) {
    write("disk.txt", "disk\n");
    {
        MemoryOverlay outer;
        { TextWriter("outer.txt", TextWriter::Create::newOnly).write("outer\n"); }
        {
            MemoryOverlay inner;
            EXPECT_EQ(firstLine("outer.txt"), "outer");
            EXPECT_TRUE(fileSystem().remove("outer.txt"));
            EXPECT_TRUE(fileSystem().rename("disk.txt", "inner.txt"));
            EXPECT_FALSE(fileSystem().exists("disk.txt"));
            EXPECT_EQ(outer.changed("inner.txt"), nullptr);
            ASSERT_NE(inner.changed("inner.txt"), nullptr);
        }
        EXPECT_EQ(firstLine("outer.txt"), "outer") << "the inner overlay's remove stayed in it";
        EXPECT_EQ(firstLine("disk.txt"), "disk");
        EXPECT_FALSE(fileSystem().exists("inner.txt"));
    }
    EXPECT_FALSE(exists("outer.txt"));
    EXPECT_EQ(read("disk.txt"), "disk\n");
}

}  // namespace
