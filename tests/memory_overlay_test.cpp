// The in-memory layer that dry runs go through: reads see earlier writes,
// and the disk never changes.
#include <gtest/gtest.h>

#include "platform/line_edits.h"
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
        ASSERT_TRUE(overlay.changed("dir/a.txt").has_value());
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
            EXPECT_FALSE(outer.changed("inner.txt").has_value());
            ASSERT_TRUE(inner.changed("inner.txt").has_value());
        }
        EXPECT_EQ(firstLine(outer.ops(), "outer.txt"), "outer") << "the inner overlay's remove stayed in it";
        EXPECT_EQ(firstLine(outer.ops(), "disk.txt"), "disk");
        EXPECT_FALSE(outer.ops().exists("inner.txt"));
    }
    EXPECT_FALSE(exists("outer.txt"));
    EXPECT_EQ(read("disk.txt"), "disk\n");
}

// A rewritten text is kept as its line edits against the old one; they must
// give back every byte, whatever lines the two share.
TEST(LineEdits, GiveBackTheTextExactly) {
    const std::string header = "#ifndef A_H\n#define A_H\n#include <b.h>\n#include <c.h>\n\nint a;\n\n#endif\n";
    const struct {
        const char* what;
        std::string base, text;
    } cases[] = {
        {"guards put in", header,
         "#ifndef A_H\n#define A_H\n#ifndef B_H\n#include <b.h>\n#endif\n#ifndef C_H\n#include <c.h>\n#endif\n\nint a;\n\n#endif\n"},
        {"guards taken out", "#ifndef B_H\n#include <b.h>\n#endif\n\n\nint b;\n", "#include <b.h>\n\n\nint b;\n"},
        {"endings of their own, no last ending", "a\r\nb\rc\n#include <d.h>", "a\r\nb\rc\n#ifndef D\r\n#include <d.h>"},
        {"nothing shared", "x\ny\n", "p\nq\nr\n"},
        {"all taken", header, ""},
        {"from nothing", "", "#pragma once\n"},
        {"long runs of equal lines", std::string(40, '\n') + "#include <e.h>\n" + std::string(40, '\n'),
         std::string(40, '\n') + "#ifndef E_H\n#include <e.h>\n#endif\n" + std::string(40, '\n')},
    };
    for (const auto& c : cases) {
        vimbo::platform::LineEdits edits;
        vimbo::platform::lineEdits(c.base, c.text, edits);
        std::string back;
        ASSERT_TRUE(vimbo::platform::applyLineEdits(edits, c.base, back)) << c.what;
        EXPECT_EQ(back, c.text) << c.what;
        EXPECT_FALSE(vimbo::platform::applyLineEdits(edits, c.base + "x", back)) << c.what << ": another base";
    }
}

// A dry run over a large tree keeps only the edits of what it replaced; a
// file that then changes on disk can't give its text back, and is no
// longer read as if it could.
TEST_F(Overlay, KeepsAReplacedFileAsItsEdits) {
    std::string old;
    for (int i = 0; i < 200; ++i) old += "#include <h" + std::to_string(i) + ".h>\nint x" + std::to_string(i) + ";\n";
    const std::string now = "#ifndef H0_H\n" + old;
    // With the line endings a rewrite writes, as a real file would have them.
    old = asWritten(old);
    write("a.h", old);
    MemoryOverlay overlay(vimbo::platform::defaultFileSystemOps());
    const FileSystemOps& fs = overlay.ops();
    { TextWriter(fs, "scratch", TextWriter::Create::newOnly).write(now); }
    ASSERT_TRUE(fs.replace("scratch", "a.h"));
    std::string bytes;
    ASSERT_TRUE(vimbo::platform::readWholeFile(fs, "a.h", bytes));
    EXPECT_EQ(bytes, asWritten(now));
    ASSERT_TRUE(overlay.changed("a.h").has_value());
    EXPECT_EQ(overlay.changed("a.h")->content, asWritten(now));
    EXPECT_EQ(read("a.h"), old);

    write("a.h", old + "int late;\n");
    EXPECT_FALSE(overlay.changed("a.h")->intact);
    EXPECT_FALSE(vimbo::platform::readWholeFile(fs, "a.h", bytes));
}

}  // namespace
