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

using vimbo::platform::FileSystemOps;
using vimbo::platform::MemoryOverlay;
using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

class Overlay : public vimbo::test::TempDirTest {};

std::string firstLine(const FileSystemOps& fs, const std::string& path) {
    TextReader reader(fs, path);
    std::string line;
    reader.readLine(line);
    return reader.isOpen() ? line : "<closed>";
}

TEST_F(Overlay, KeepsEveryChangeInMemory) {
    write("dir/a.txt", "old\n");
    vimbo::test::fs::create_directories(root() / "sub");
    const FileSystemOps& disk = vimbo::platform::defaultFileSystemOps();
    {
        MemoryOverlay overlay(disk);
        const FileSystemOps& fs = overlay.ops();
        {
            TextWriter writer(fs, "new.txt", TextWriter::Create::newOnly);
            writer.write("fresh\n");
            EXPECT_TRUE(writer.close());
        }
        EXPECT_TRUE(fs.exists("new.txt"));
        EXPECT_FALSE(disk.exists("new.txt")) << "nothing reaches the disk";
        EXPECT_EQ(firstLine(fs, "new.txt"), "fresh");
        EXPECT_TRUE(fs.remove("dir\\a.txt"));
        EXPECT_FALSE(fs.exists("dir/a.txt")) << "one key whatever the spelling";
        EXPECT_EQ(firstLine(fs, "dir/a.txt"), "<closed>");
        EXPECT_TRUE(fs.rename("new.txt", "dir/a.txt"));
        EXPECT_EQ(firstLine(fs, "./dir/../dir/a.txt"), "fresh");
        EXPECT_FALSE(fs.exists("new.txt"));
        ASSERT_NE(overlay.changed("dir/a.txt"), nullptr);
        EXPECT_EQ(overlay.changed("dir/a.txt")->content, asWritten("fresh\n"));
        EXPECT_FALSE(fs.remove("sub")) << "a directory is no file to remove";
        EXPECT_FALSE(TextWriter(fs, "sub", TextWriter::Create::truncate).isOpen());
        EXPECT_FALSE(TextWriter(fs, "dir/a.txt", TextWriter::Create::newOnly).isOpen());
    }
    EXPECT_EQ(read("dir/a.txt"), "old\n");
    EXPECT_FALSE(exists("new.txt"));
}

// Each overlay keeps its state in itself and lies over the table it is
// given: one put over another sees the other's files and changes none of them.
TEST_F(Overlay, OverlaysNestWithoutMixingTheirFiles) {
    write("disk.txt", "disk\n");
    {
        MemoryOverlay outer(vimbo::platform::defaultFileSystemOps());
        { TextWriter(outer.ops(), "outer.txt", TextWriter::Create::newOnly).write("outer\n"); }
        {
            MemoryOverlay inner(outer.ops());
            const FileSystemOps& fs = inner.ops();
            EXPECT_EQ(firstLine(fs, "outer.txt"), "outer");
            EXPECT_TRUE(fs.remove("outer.txt"));
            EXPECT_TRUE(fs.rename("disk.txt", "inner.txt"));
            EXPECT_FALSE(fs.exists("disk.txt"));
            EXPECT_EQ(outer.changed("inner.txt"), nullptr);
            ASSERT_NE(inner.changed("inner.txt"), nullptr);
        }
        EXPECT_EQ(firstLine(outer.ops(), "outer.txt"), "outer") << "the inner overlay's remove stayed in it";
        EXPECT_EQ(firstLine(outer.ops(), "disk.txt"), "disk");
        EXPECT_FALSE(outer.ops().exists("inner.txt"));
    }
    EXPECT_FALSE(exists("outer.txt"));
    EXPECT_EQ(read("disk.txt"), "disk\n");
}

}  // namespace
