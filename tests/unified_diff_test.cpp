// Unified diffs of a rewrite: alignment, context, line ends, odd names.
#include <gtest/gtest.h>

#include <filesystem>

#include "batch/unified_diff.h"
#include "support/temp_dir.h"

namespace {

using vimbo::batch::patchPath;
using vimbo::batch::unifiedDiff;

TEST(UnifiedDiff, SameTextGivesNothing) { EXPECT_EQ(unifiedDiff("a.c", "x\n", "x\n"), ""); }

TEST(UnifiedDiff, InsertionsWithThreeLinesOfContext) {
    const std::string before = "1\r\n2\r\n3\r\n4\r\n#include <a.h>\r\n5\r\n6\r\n7\r\n8\r\n";
    const std::string after = "1\r\n2\r\n3\r\n4\r\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n5\r\n6\r\n7\r\n8\r\n";
    EXPECT_EQ(unifiedDiff("src/a.c", before, after),
              "--- a/src/a.c\n+++ b/src/a.c\n@@ -2,7 +2,9 @@\n 2\r\n 3\r\n 4\r\n+#ifndef A_H\r\n"
              " #include <a.h>\r\n+#endif\r\n 5\r\n 6\r\n 7\r\n");
}

TEST(UnifiedDiff, ChangedLineEndsAndMissingFinalBreak) {
    EXPECT_EQ(unifiedDiff("m.c", "#include <a.h>\nx", "#ifndef A_H\r\n#include <a.h>\r\n#endif\r\nx\r\n"),
              "--- a/m.c\n+++ b/m.c\n@@ -1,2 +1,4 @@\n-#include <a.h>\n-x\n\\ No newline at end of file\n"
              "+#ifndef A_H\r\n+#include <a.h>\r\n+#endif\r\n+x\r\n");
}

// An added "#endif" beside equal ones: the first equal line is the one kept,
// however the lines are compared.
TEST(UnifiedDiff, AddedLinesBesideEqualOnesComeLast) {
    EXPECT_EQ(unifiedDiff("m.c", "#ifdef X\n#include <a.h>\n#endif\n#endif\n#include <a.h>\n#endif\n",
                          "#ifdef X\n#ifndef A_H\n#include <a.h>\n#endif\n#endif\n#endif\n#ifndef A_H\n#include <a.h>\n"
                          "#endif\n#endif\n"),
              "--- a/m.c\n+++ b/m.c\n@@ -1,6 +1,10 @@\n #ifdef X\n+#ifndef A_H\n #include <a.h>\n #endif\n #endif\n"
              "+#endif\n+#ifndef A_H\n #include <a.h>\n #endif\n+#endif\n");
}

TEST(UnifiedDiff, DistantChangesMakeSeparateHunks) {
    std::string before, after;
    for (int i = 0; i < 20; ++i) {
        const std::string line = std::to_string(i) + "\r\n";
        before += line;
        after += (i == 2 || i == 15 ? "+" + line : "") + line;
    }
    const std::string diff = unifiedDiff("f", before, after);
    EXPECT_NE(diff.find("@@ -1,5 +1,6 @@\n"), std::string::npos) << diff;
    EXPECT_NE(diff.find("@@ -13,6 +14,7 @@\n"), std::string::npos) << diff;
}

TEST(UnifiedDiff, OddNamesAreQuoted) {
    const std::string diff = unifiedDiff("my dir/x\"y.h", "a\n", "a\r\n");
    EXPECT_EQ(diff.substr(0, diff.find("@@")), "--- \"a/my dir/x\\\"y.h\"\n+++ \"b/my dir/x\\\"y.h\"\n");
}

// patch -p1 and git apply, run where the command ran, find every file named;
// outside the current directory, git apply takes a name from the work tree's top.
using UnifiedDiffPaths = vimbo::test::TempDirTest;
TEST_F(UnifiedDiffPaths, NormalisedForPatch) {
    namespace fs = std::filesystem;
    fs::create_directories(root() / "repo/.git");
    fs::create_directories(root() / "repo/sub");
    const struct {
        const char* in;
        std::string given, named;
    } cases[] = {
        {"", "./src/a.c", "src/a.c"},
        {"", "src/./x/../a.c", "src/a.c"},
        {"", "src//a.c", "src/a.c"},
        {"", (root() / "src/a.c").string(), "src/a.c"},
        {"", "../up.c", (root().parent_path() / "up.c").relative_path().generic_string()},
        {"repo/sub", "../up.c", "up.c"},
        {"repo/sub", "../../out.c", (root() / "out.c").relative_path().generic_string()},
    };
    for (const auto& c : cases) {
        fs::current_path(root() / c.in);
        EXPECT_EQ(patchPath(c.given), c.named) << c.in << ": " << c.given;
    }
    fs::current_path(root());
    EXPECT_EQ(unifiedDiff("./x.c", "a\n", "b\n").substr(0, 20), "--- a/x.c\n+++ b/x.c\n");
}

}  // namespace

namespace {
// Hunks as small as git's: each case's removed and added line counts.
TEST(UnifiedDiff, ShortestEditsForStripsAndMixedEndings) {
    std::string body;
    for (int i = 0; i < 200; ++i) body += "int v" + std::to_string(i) + ";\n";
    const struct {
        std::string before, after;
        std::size_t removed, added;
    } cases[] = {
        // Guards taken away around two includes, far apart.
        {"#ifndef A_H\n#include <a.h>\n#endif\n" + body + "#ifndef B_H\n#include <b.h>\n#endif\n" + body,
         "#include <a.h>\n" + body + "#include <b.h>\n" + body, 4, 0},
        // Lines that end in CR LF and LF side by side: only the wrap shows.
        {"x\r\ny\n#include <a.h>\r\n" + body, "x\r\ny\n#ifndef A_H\r\n#include <a.h>\r\n#endif\r\n" + body, 0, 2},
        // One line whose ending changes shows as removed and added.
        {"a\nb\r\nc\n", "a\nb\nc\n", 1, 1},
    };
    for (const auto& c : cases) {
        const std::string diff = unifiedDiff("f.c", c.before, c.after);
        std::size_t removed = 0, added = 0;
        for (std::size_t at = diff.find("\n@@"); at != std::string::npos && at + 1 < diff.size();
             at = diff.find('\n', at + 1)) {
            if (diff[at + 1] == '-') ++removed;
            if (diff[at + 1] == '+') ++added;
        }
        EXPECT_EQ(removed, c.removed) << diff;
        EXPECT_EQ(added, c.added) << diff;
        EXPECT_LT(diff.size(), 400u) << "context stays three lines";
    }
}
}  // namespace
