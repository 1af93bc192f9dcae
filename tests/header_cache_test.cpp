// Headers are read once per version: a header that many lines include costs
// one read, and a header that changed in between is read again.
#include <gtest/gtest.h>

#include <chrono>

#include "analysis/guard_analyzer.h"
#include "analysis/header_cache.h"
#include "analysis/run_index.h"
#include "rewrite/processor.h"
#include "support/command_run.h"
#include "support/file_mode_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::asWritten;

using vimbo::analysis::HeaderCache;
namespace fs = vimbo::test::fs;

class HeaderCacheTest : public vimbo::test::TempDirTest {};

TEST_F(HeaderCacheTest, EachVersionOfAHeaderIsReadOnce) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    std::string source;
    for (int i = 0; i < 50; ++i) source += "#include <a.h>\nint x" + std::to_string(i) + ";\n";
    write("main.c", source);

    HeaderCache headers;
    Vimbo_Params settings("main.c");
    settings.setIncludePath("inc");
    Vimbo processor(&settings, {}, RunShared{&headers});
    EXPECT_EQ(processor.processFile(), 1);
    // Once for discovery, once more to check that its guard controls it.
    const std::size_t reads = headers.reads();
    EXPECT_LE(reads, 2u);

    // Same name, new text (and so a new size): the old facts no longer hold.
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\nint again;\n");
    Vimbo_Params lineSettings;
    lineSettings.setLineText("#include <a.h>");
    lineSettings.setIncludePath("inc");
    Vimbo lineProcessor(&lineSettings, {}, RunShared{&headers});
    EXPECT_EQ(lineProcessor.processLine(), "#include <a.h>\n");
    EXPECT_GT(headers.reads(), reads);
}

// In an indexed run a name is looked up once (a run file's name, however
// spelt, not even once: the index read it); the run tells the cache which
// files it rewrote, and every name of such a file is looked up again.
namespace looks {
int count;
decltype(vimbo::platform::FileSystemOps::xIdentity) real;
}  // namespace looks

TEST_F(HeaderCacheTest, ARunLooksUpANameOnceUntilItRewritesTheFile) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    const auto replace = [&](const std::string& name, const std::string& text) {
        write(name + ".new", text);
        fs::rename(root() / (name + ".new"), root() / name);  // a new file, as a rewrite makes
    };
    auto ops = vimbo::platform::defaultFileSystemOps();
    looks::real = ops.xIdentity;
    ops.xIdentity = [](const vimbo::platform::FileSystemOps& self, const std::string& path,
                       vimbo::platform::FileIdentity& identity) {
        ++looks::count;
        return looks::real(self, path, identity);
    };
    for (const char* way : {"files read", "a file read under two names", "an index"}) {
        const bool namedTwice = way == std::string("a file read under two names");
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
        HeaderCache headers(ops);
        vimbo::analysis::RunIndex index;
        vimbo::analysis::MacroUses uses;
        if (way == std::string("an index")) {
            index.build(headers, {"inc/a.h", "inc/b.h"}, 1);
        } else {
            headers.factsWithUses("inc/a.h", uses);
            headers.factsWithUses("inc/b.h", uses);
        }
        if (namedTwice) headers.factsWithUses("./inc/b.h", uses);
        vimbo::platform::FileIdentity before, now;
        looks::count = 0;
        ASSERT_TRUE(headers.identityOf(".\\inc\\b.h", before));
        EXPECT_EQ(looks::count, way == std::string("an index") ? 0 : 1) << way;
        ASSERT_TRUE(headers.identityOf("inc/../inc/a.h", before));
        const vimbo::platform::FileIdentity oldA = headers.aboutToRewrite("inc/a.h");
        replace("inc/a.h", "#ifndef A_H\n#define A_H\nint a;\n#endif\n");
        ASSERT_TRUE(headers.identityOf("inc/../inc/a.h", now));
        EXPECT_EQ(now, before) << "looked up once";
        headers.rewritten("inc/a.h", oldA);
        ASSERT_TRUE(headers.identityOf("inc/../inc/a.h", now));
        EXPECT_FALSE(now == before) << "another name of the rewritten file";
        ASSERT_TRUE(headers.identityOf("./inc/b.h", before));
        const vimbo::platform::FileIdentity oldB = headers.aboutToRewrite("inc/b.h");
        replace("inc/b.h", "#ifndef B_H\n#define B_H\nint b;\n#endif\n");
        headers.rewritten("inc/b.h", oldB);
        ASSERT_TRUE(headers.identityOf("./inc/b.h", now));
        EXPECT_FALSE(now == before) << way;
        // Rewritten again: the names learnt since the first rewrite go too.
        before = now;
        const vimbo::platform::FileIdentity againB = headers.aboutToRewrite("inc/b.h");
        replace("inc/b.h", "#ifndef B_H\n#define B_H\nint bb;\n#endif\n");
        headers.rewritten("inc/b.h", againB);
        ASSERT_TRUE(headers.identityOf("./inc/b.h", now));
        EXPECT_FALSE(now == before) << "rewritten twice: " << way;
    }
}

TEST_F(HeaderCacheTest, AFileUnderTwoNamesIsJudgedByEachName) {
    // Discovery compares the macro with the file's name, so the name counts.
    write("inc/abc.h", "#ifndef XYZ_QQQQQQQQQQQQ\n#define XYZ_QQQQQQQQQQQQ\n#endif\n");
#ifndef _WIN32
    fs::create_symlink("abc.h", root() / "inc/xyz_qqqqqqqqqqqq.h");
    HeaderCache headers;
    vimbo::analysis::GuardAnalyzer guards(headers);
    const vimbo::analysis::HeaderLookup lookup{"inc", "", vimbo::analysis::LookupRules::library};
    EXPECT_EQ(guards.verifiedGuardMacro("inc\\xyz_qqqqqqqqqqqq.h", lookup), "XYZ_QQQQQQQQQQQQ");
    EXPECT_EQ(guards.verifiedGuardMacro("inc\\abc.h", lookup), "");
#endif
}

// Tree mode reads headers it has just rewritten: a test that it inserted
// above a header's own guard must never pass for that header's guard.
TEST_F(HeaderCacheTest, TreeModeDoesNotTakeItsOwnTestsForGuards) {
    write("inc/util_config.h", "#ifndef UTIL_CONFIG_H\n#define UTIL_CONFIG_H\n#endif\n");
    write("inc/util.h", "#include <util_config.h>\n#ifndef UTIL_H\n#define UTIL_H\n#endif\n");
    write("src/main.c", "#include <util.h>\n");
    auto outcome = vimbo::test::runVimbo({"-i", (root() / "inc").string(), "--tree", "inc", "src"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(read("inc/util.h"),
              asWritten("#ifndef UTIL_CONFIG_H\n#include <util_config.h>\n#endif\n#ifndef UTIL_H\n#define UTIL_H\n#endif\n"));
    EXPECT_EQ(read("src/main.c"), "#include <util.h>\n");
}

// Another thread of a tree run replaces a header while it is opened and read
// here, and writes the next file's text (of the same size) into the old file
// it keeps. What was read is then neither version of the header: it must not
// be judged.
namespace replaced {
fs::path dir;
int calls;
HeaderCache* cache;
decltype(vimbo::platform::FileSystemOps::xRead) realRead;
decltype(vimbo::platform::FileSystemOps::xOpenRead) realOpenRead;

void swapAndReuseOnce() {
    if (calls++ != 0) return;
    fs::rename(dir / "a.h", dir / "kept");
    vimbo::test::writeFile(dir / "a.h", "#ifndef A_H\n#define A_H\nint a;\n#endif\n");
    cache->rewritten((dir / "a.h").string(), {});
    vimbo::test::writeFile(dir / "kept", "#ifndef B_H\n#define B_H\n#endif\n");
}
}  // namespace replaced

TEST_F(HeaderCacheTest, AHeaderReplacedWhileItIsReadIsReadAgain) {
    using vimbo::platform::FileHandle;
    using vimbo::platform::FileSystemOps;
    // Just after the open, and in the middle of the read.
    for (const bool duringRead : {false, true}) {
        write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
        replaced::dir = root() / "inc";
        replaced::calls = 0;
        auto& ops = vimbo::test::fileSystem();
        replaced::realRead = ops.xRead;
        replaced::realOpenRead = ops.xOpenRead;
        if (duringRead)
            ops.xRead = [](const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size) {
                replaced::swapAndReuseOnce();
                return replaced::realRead(self, file, buffer, size);
            };
        else
            ops.xOpenRead = [](const FileSystemOps& self, const std::string& path,
                               const vimbo::platform::FileIdentity* known) {
                const FileHandle file = replaced::realOpenRead(self, path, known);
                replaced::swapAndReuseOnce();
                return file;
            };
        HeaderCache headers(ops);
        replaced::cache = &headers;
        const auto facts = headers.facts((replaced::dir / "a.h").string(), true);
        vimbo::test::fileSystem() = vimbo::platform::defaultFileSystemOps();
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->controllingMacro(), "A_H") << duringRead;
        vimbo::platform::FileIdentity now;
        ASSERT_TRUE(vimbo::test::fileSystem().identity((replaced::dir / "a.h").string(), now));
        EXPECT_TRUE(facts->identity == now) << duringRead;
    }
}

TEST_F(HeaderCacheTest, PrecompiledHeaderNamesFromTheCommand) {
    write("inc/all.h", "#ifndef ALL_H\n#define ALL_H\n#endif\n");
    write("main.c", "#include <all.h>\n");
    auto outcome = vimbo::test::runVimbo({"--quiet", "--pch", "ALL.h", "-i", "inc", "main.c"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(read("main.c"), "#include <all.h>\n");
    EXPECT_EQ(vimbo::test::runVimbo({"--pch"}).status, 2);
}

}  // namespace

namespace {

// A cache that outlives runs (the library's, across calls) keeps only files
// whose time stamp is old enough that a later change would show in it.
TEST_F(HeaderCacheTest, ACacheAcrossRunsKeepsOnlySettledFiles) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    HeaderCache headers(vimbo::platform::defaultFileSystemOps(), HeaderCache::Lifetime::process);
    auto guardOf = [&](const char* header) {
        return vimbo::analysis::GuardAnalyzer(headers).verifiedGuardMacro(header, {});
    };
    // Just written: it could change again within the same clock tick.
    EXPECT_EQ(guardOf("inc\\a.h"), "A_H");
    const std::size_t fresh = headers.reads();
    EXPECT_EQ(guardOf("inc\\a.h"), "A_H");
    EXPECT_GT(headers.reads(), fresh);

    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(root() / "inc/a.h", old);
    EXPECT_EQ(guardOf("inc\\a.h"), "A_H");
    const std::size_t settled = headers.reads();
    EXPECT_EQ(guardOf("inc\\a.h"), "A_H");
    EXPECT_EQ(headers.reads(), settled);

    // Changed since, at the same size and with the old time stamp put back:
    // the change time tells, which no one can set back.
    write("inc/a.h", "#ifdef  A_H\n#define A_H\n#endif\n");
    fs::last_write_time(root() / "inc/a.h", old);
    EXPECT_EQ(guardOf("inc\\a.h"), "");
    // Changed since: a new time stamp, read again, and judged anew.
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\nint b;\n");
    EXPECT_EQ(guardOf("inc\\a.h"), "");
}

}  // namespace
