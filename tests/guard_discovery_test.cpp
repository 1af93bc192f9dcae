// Which macro guards a header, read from real header files.
#include <gtest/gtest.h>

#include "analysis/guard_analyzer.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace {

// A header's guard candidate, as the library finds it with `searchPath`,
// read through the tests' file system.
std::string guardOf(const std::string& header, const std::string& searchPath = "") {
    vimbo::analysis::HeaderCache headers(vimbo::test::fileSystem());
    return vimbo::analysis::GuardAnalyzer(headers).findGuardMacro(header, {searchPath, "", {}});
}

struct GuardCase {
    const char* description;
    std::vector<std::pair<const char*, std::string>> headers;  // name in inc/, text
    const char* header;                                         // the one asked about
    const char* guard;
};

void PrintTo(const GuardCase& c, std::ostream* out) { *out << c.description; }

class FindGuardMacro : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(FindGuardMacro, ReadsTheGuard) {
    const GuardCase& c = GetParam();
    for (const auto& [name, text] : c.headers) write(std::string("inc/") + name, text);
    EXPECT_EQ(guardOf(std::string("inc\\") + c.header, "inc"), c.guard) << c.description;
}

const std::string kLong(1023, 'x');
const char kBinaryBytes[] = "\0\xff\x01#ifndef\0B_H\n\x80\x81";
const std::string kBinary(kBinaryBytes, sizeof kBinaryBytes - 1);
const char kNulGuardBytes[] = "#ifndef \x13H_Q\0\0\0_<g>\n";
const std::string kNulGuard(kNulGuardBytes, sizeof kNulGuardBytes - 1);

INSTANTIATE_TEST_SUITE_P(
    Headers, FindGuardMacro,
    ::testing::Values(
        GuardCase{"ifndef after a comment", {{"util.h", "/* util\n * helpers */\n#ifndef UTIL_H\n#define UTIL_H\n"}},
                  "util.h", "UTIL_H"},
        GuardCase{"if !defined", {{"util.h", "#if !defined(UTIL_H)\n"}}, "util.h", "UTIL_H"},
        GuardCase{"if !defined keeps blanks", {{"util.h", "#if !defined( UTIL_H )\n"}}, "util.h", " UTIL_H "},
        GuardCase{"if !defined without closing", {{"util.h", "#if !defined(UTIL_H\n"}}, "util.h", "UTIL_H"},
        GuardCase{"rejected candidate is skipped",
                  {{"myfile.h", "#ifndef NULL\n#define NULL 0\n#endif\n#ifndef MYFILE_H\n"}}, "myfile.h",
                  "MYFILE_H"},
        GuardCase{"rejected candidate, same line", {{"myfile.h", "#ifndef NULL #ifndef MYFILE_H\n"}}, "myfile.h",
                  "MYFILE_H"},
        GuardCase{"__cplusplus is no guard", {{"string.h", "#ifndef __cplusplus\n#endif\n"}}, "string.h", ""},
        GuardCase{"spelled as in the header", {{"foo.h", "#ifndef foo_h\n#define foo_h\n"}}, "foo.h", "foo_h"},
        GuardCase{"pragma once only", {{"p.h", "#pragma once\nint p;\n"}}, "p.h", ""},
        GuardCase{"forwarding header",
                  {{"wrapper.h", "#include <real.h>\n"}, {"real.h", "#ifndef REAL_H\n#define REAL_H\n#endif\n"}},
                  "wrapper.h", "REAL_H"},
        GuardCase{"include above own test decides",
                  {{"mine.h", "#include <other.h>\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}}, "mine.h",
                  "OTHER_H"},
        GuardCase{"nested header missing", {{"mine.h", "#include <other.h>\n#ifndef MINE_H\n"}}, "mine.h",
                  "MINE_H"},
        GuardCase{"nested header without guard",
                  {{"mine.h", "#include <other.h>\n#ifndef MINE_H\n"}, {"other.h", "int o;\n"}}, "mine.h", "MINE_H"},
        // A bare name is a macro: the header it stands for is unknown, so it
        // lends nothing.
        GuardCase{"nested bare name is a macro",
                  {{"mine.h", "#include other\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}}, "mine.h",
                  "MINE_H"},
        GuardCase{"commented include is followed",
                  {{"mine.h", "// #include <other.h>\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}},
                  "mine.h", "OTHER_H"},
        GuardCase{"joined comment include is one word",
                  {{"mine.h", "//#include <other.h>\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}},
                  "mine.h", "MINE_H"},
        GuardCase{"include without blank is not followed",
                  {{"mine.h", "#include<other.h>\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}}, "mine.h",
                  "MINE_H"},
        GuardCase{"nested quoted names are looked for in the current directory",
                  {{"mine.h", "#include \"other.h\"\n#ifndef MINE_H\n"}, {"other.h", "#ifndef OTHER_H\n"}},
                  "mine.h", "MINE_H"},
        GuardCase{"commented ifndef supplies the guard", {{"foo.h", "/* #ifndef FOO_H */\n"}}, "foo.h", "FOO_H"},
        GuardCase{"keyword mid-line", {{"foo.h", "  /* x */ #ifndef FOO_H\n"}}, "foo.h", "FOO_H"},
        GuardCase{"tests that are not guard tests",
                  {{"foo.h", "#ifdef FOO_H\n#if defined(FOO_H)\n# ifndef FOO_H\n#ifndef\tFOO_H\n"
                             "#if !defined (FOO_H)\n#if ! defined(FOO_H)\n"}},
                  "foo.h", ""},
        GuardCase{"keyword at line end", {{"foo.h", "#ifndef\n#ifndef FOO_H\n"}}, "foo.h", "FOO_H"},
        GuardCase{"extra blanks after the keyword", {{"foo.h", "#ifndef    FOO_H  // x\n"}}, "foo.h", "FOO_H"},
        GuardCase{"tab and comment are cut off", {{"h.h", "#ifndef H_H\t/* guard */\n"}}, "h.h", "H_H"},
        GuardCase{"joined comment is cut off", {{"h.h", "#ifndef H_H/*guard*/\n"}}, "h.h", "H_H"},
        GuardCase{"a NUL ends the candidate", {{"h.h", kNulGuard}}, "h.h", "\x13H_Q"},
        GuardCase{"only a comment is no guard", {{"h.h", "#ifndef /*x*/ H_H\n"}}, "h.h", ""},
        GuardCase{"carriage returns dropped", {{"crlf.h", "// x\r\n#ifndef CRLF_H\r\n"}}, "crlf.h", "CRLF_H"},
        GuardCase{"ctrl-z ends the header", {{"z.h", "int z;\n\x1a#ifndef Z_H\n"}}, "z.h", ""},
        GuardCase{"last line without line break", {{"n.h", "#ifndef N_H"}}, "n.h", "N_H"},
        GuardCase{"empty header", {{"e.h", ""}}, "e.h", ""},
        GuardCase{"binary header", {{"b.h", kBinary}}, "b.h", ""},
        GuardCase{"long line read in pieces", {{"long.h", kLong + "#ifndef LONG_H\n"}}, "long.h", "LONG_H"},
        GuardCase{"keyword split between pieces",
                  {{"long.h", std::string(1016, 'x') + " #ifndef LONG_H\n"}}, "long.h", ""},
        GuardCase{"line of exactly 1023 characters", {{"long.h", kLong + "\n#ifndef LONG_H\n"}}, "long.h", "LONG_H"},
        // Include cycles end: a header already being read yields "" further down.
        GuardCase{"two headers including each other",
                  {{"a.h", "#pragma once\n#include <b.h>\n"}, {"b.h", "#pragma once\n#include <a.h>\n"}}, "a.h",
                  ""},
        GuardCase{"header including itself", {{"a.h", "#include <a.h>\n#ifndef A_H\n"}}, "a.h", "A_H"},
        GuardCase{"cycle, guard below the inner include",
                  {{"a.h", "#include <b.h>\n"}, {"b.h", "#include <a.h>\n#ifndef B_H\n"}}, "a.h", "B_H"},
        GuardCase{"cycle seen from the other side",
                  {{"a.h", "#include <b.h>\n"}, {"b.h", "#include <a.h>\n#ifndef B_H\n"}}, "b.h", "B_H"},
        GuardCase{"outside a cycle",
                  {{"c.h", "#include <a.h>\n#ifndef C_H\n"},
                   {"a.h", "#include <b.h>\n"},
                   {"b.h", "#include <a.h>\n"}},
                  "c.h", "C_H"},
        GuardCase{"diamond reaches the shared guard",
                  {{"top.h", "#include <l.h>\n#include <r.h>\n"},
                   {"l.h", "#pragma once\n#include <base.h>\n"},
                   {"r.h", "#pragma once\n#include <base.h>\n"},
                   {"base.h", "#ifndef BASE_H\n"}},
                  "top.h", "BASE_H"}));

class GuardDiscoveryFiles : public vimbo::test::TempDirTest {};

TEST_F(GuardDiscoveryFiles, EmptyPathTouchesNothing) {
    static int opens = 0;
    vimbo::test::fileSystem().xOpenRead = [](const vimbo::platform::FileSystemOps&, const std::string&,
                                                     const vimbo::platform::FileIdentity*) {
        ++opens;
        return vimbo::platform::kNoFile;
    };
    EXPECT_EQ(guardOf(""), "");
    EXPECT_EQ(opens, 0);
}

TEST_F(GuardDiscoveryFiles, DirectoriesAndMissingFilesHaveNoGuard) {
    write("dir.h/inner", "#ifndef DIR_H\n");
    EXPECT_EQ(guardOf("dir.h"), "");
    EXPECT_EQ(guardOf("missing.h"), "");
}

TEST_F(GuardDiscoveryFiles, LongCycleOfDistinctHeadersEnds) {
    // h0 includes h1 includes ... h299 includes h0; none has a guard.
    for (int i = 0; i < 300; ++i)
        write("inc/h" + std::to_string(i) + ".h", "#include <h" + std::to_string((i + 1) % 300) + ".h>\n");
    EXPECT_EQ(guardOf("inc\\h0.h", "inc"), "");
}

TEST_F(GuardDiscoveryFiles, ManySharedIncludesStayCheap) {
    // Every level includes the next one twice before any guard: without
    // remembering answers this would read 2^40 headers.
    for (int i = 0; i < 40; ++i) {
        std::string next = "<l" + std::to_string(i + 1) + ".h>";
        write("inc/l" + std::to_string(i) + ".h", "#pragma once\n#include " + next + "\n#include " + next + "\n");
    }
    write("inc/l40.h", "int leaf;\n");
    EXPECT_EQ(guardOf("inc\\l0.h", "inc"), "");
}

TEST_F(GuardDiscoveryFiles, HeadersThatAllIncludeEachOtherAreReadOnce) {
    // Twelve #pragma once headers, each including all the others: following
    // every path through them would take 12! reads. Found by fuzzing.
    const int count = 12;
    for (int i = 0; i < count; ++i) {
        std::string text = "#pragma once\n";
        for (int j = 0; j < count; ++j)
            if (j != i) text += "#include <p" + std::to_string(j) + ".h>\n";
        write("inc/p" + std::to_string(i) + ".h", text);
    }
    write("inc/p11.h", read("inc/p11.h") + "#ifndef P11_H\n");
    static int opens = 0;
    vimbo::test::fileSystem().xOpenRead = [](const vimbo::platform::FileSystemOps&, const std::string& path,
                                        const vimbo::platform::FileIdentity* known) {
        ++opens;
        return vimbo::platform::defaultFileSystemOps().openRead(path, known);
    };
    EXPECT_EQ(guardOf("inc\\p0.h", "inc"), "P11_H");
    EXPECT_LE(opens, count);
}

}  // namespace
