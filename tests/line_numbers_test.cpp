// --keep-lines: after the wraps every line has its old number again, as the
// compiler counts it (__LINE__ expanded before and after must agree).
#include <gtest/gtest.h>

#include <iterator>

#include "analysis/header_facts.h"
#include "platform/line_endings.h"
#include "vimbo/engine/child_process.h"
#include "support/command_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::test::runVimbo;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class KeepLines : public vimbo::test::TempDirTest {
protected:
    // What the compiler makes of a file, __LINE__ as it expands.
    std::string preprocessed(const std::string& file, const std::string& define) {
        vimbo::platform::ChildProcess cc{{"cc", "-E", "-P", "-x", "c", "-Iinc", define, file}, "", "", ""};
        const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(cc);
        EXPECT_EQ(outcome.status, 0) << file << ": " << outcome.errors;
        return outcome.output;
    }
};

TEST_F(KeepLines, EveryLineKeepsItsNumber) {
    if (!vimbo::platform::runChild({{"cc", "--version"}, "", "", ""}).started) GTEST_SKIP() << "no C compiler";
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    const std::pair<const char*, std::string> sources[] = {
        {"wraps.c", "#include <a.h>\n#include <b.h>\nint x = __LINE__;\n"},
        // A skipped group still counts its lines, but not its #line.
        {"skipped.c", "#if 0\n#include <a.h>\n#endif\nint y = __LINE__;\n#ifdef Q\n#include <b.h>\n#else\n"
                      "int z = __LINE__;\n#endif\nint w = __LINE__;\n"},
        {"nested.c", "#ifdef Q\n#ifdef R\n#include <a.h>\n#endif\nint n = __LINE__;\n#elif 1\nint e = __LINE__;\n"
                     "#endif\nint v = __LINE__;\n"},
        // The #line can't stand inside the comment that follows the wraps.
        {"comment.c", "#include <a.h>\n\n/* one\n   two */ int c = __LINE__;\n"},
        {"crlf.c", "#include <a.h>\r\nint r = __LINE__;\r\n"},
        {"last.c", "int l = __LINE__;\n#include <a.h>"},
        {"guard.h", "#ifndef G_H\n#define G_H\n#include <a.h>\nint g = __LINE__;\n#endif\n// the end\n"},
    };
    for (const auto& [name, text] : sources) {
        write(std::string("src/") + name, text);
        write(std::string("orig/") + name, text);
    }
    write("src/own.c", "#line 100\n#include <a.h>\n");
    auto run = runVimbo({"-i", "inc", "--keep-lines", "--tree", "src"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const auto& [name, text] : sources) {
        EXPECT_NE(read(std::string("src/") + name), text) << name << " is rewritten";
        for (const char* define : {"-DP", "-DQ", "-DR"})
            EXPECT_EQ(preprocessed(std::string("src/") + name, define), preprocessed(std::string("orig/") + name, define))
                << name << " " << define;
    }
    EXPECT_EQ(read("src/wraps.c"),
              "#ifndef A_H\n#include <a.h>\n#endif\n#ifndef B_H\n#include <b.h>\n#endif\n#line 3\nint x = __LINE__;\n");
    EXPECT_EQ(read("src/guard.h"), "#ifndef G_H\n#define G_H\n#ifndef A_H\n#include <a.h>\n#endif\n#line 4\n"
                                   "int g = __LINE__;\n#endif\n// the end\n")
        << "the guard stays last";
    EXPECT_EQ(read("src/own.c"), "#line 100\n#include <a.h>\n") << "lines named by the file itself are left alone";
    EXPECT_EQ(runVimbo({"-i", "inc", "--keep-lines", "--check", "--tree", "src"}).status, 0) << "one run is final";
    EXPECT_EQ(runVimbo({"--keep-lines", "--audit", "--tree", "src"}).status, 2);
}

// A "#line" outside a header's guard takes the guard away (gcc and clang
// then open the header at every include, and the run wraps none of its
// includes), and so does any directive but an include in a header that
// only forwards to others.
TEST_F(KeepLines, HeadersKeepTheirGuards) {
    const bool compiler = vimbo::platform::runChild({{"cc", "--version"}, "", "", ""}).started;
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    const std::pair<const char*, std::string> headers[] = {
        {"null.h", "#ifndef NU_H\n#define NU_H\n#include <a.h>\nint n = __LINE__;\n#endif\n#\n"},
        {"nested.h", "#ifndef NE_H\n#define NE_H\n#ifdef Q\n#include <a.h>\n#endif\n#endif\n\n# /* the end */\n"},
        {"last.h", "#ifndef LA_H\n#define LA_H\nint l = __LINE__;\n#include <a.h>\n#endif\n#\n"},
        {"once.h", "#ifndef ON_H\n#define ON_H\n#include <a.h>\n#endif\n#pragma once\n"},
        {"defined.h", "#if !defined(DE_H)\n#define DE_H\n#include <a.h>\n#endif /* DE_H */\n#\n"},
        {"forward.h", "#include <a.h>\n#\n#include <a.h>\n"},
    };
    std::string user;
    for (const auto& [name, text] : headers) {
        write(std::string("src/") + name, text);
        write(std::string("orig/") + name, text);
        user += std::string("#include \"") + name + "\"\n";
    }
    write("use/u.c", user);
    auto run = runVimbo({"-i", "inc", "--keep-lines", "--tree", "src"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const auto& [name, text] : headers) {
        const std::string path = std::string("src/") + name, after = read(path);
        EXPECT_NE(after, text) << name << " is rewritten";
        vimbo::analysis::HeaderFacts before, now;
        vimbo::analysis::examineControl(text, before);
        vimbo::analysis::examineControl(after, now);
        EXPECT_EQ(now.controllingMacro(), before.controllingMacro()) << after;
        EXPECT_EQ(now.forwarder, before.forwarder) << after;
        if (!compiler) continue;
        for (const char* define : {"-DP", "-DQ"})
            EXPECT_EQ(preprocessed(path, define), preprocessed(std::string("orig/") + name, define)) << name << define;
        if (before.controllingMacro().empty()) continue;
        // gcc -H names each header it opens: a guarded one once, however often it is included.
        write("twice.c", "#include \"" + path + "\"\n#include \"" + path + "\"\n");
        auto shown = vimbo::platform::runChild({{"cc", "-H", "-E", "-Iinc", "twice.c"}, "", "", ""});
        shown.errors.insert(0, "\n");
        EXPECT_EQ(occurrences(shown.errors, "\n. " + path + "\n"), 1) << name << ":\n" << shown.errors;
    }
    // A later run still finds each guarded header's guard (a forwarder's is
    // its target's, which other files may include: it is not wrapped).
    EXPECT_EQ(runVimbo({"-i", "inc", "-i", "src", "--keep-lines", "--tree", "use"}).status, 0);
    EXPECT_EQ(occurrences(read("use/u.c"), "#ifndef "), std::size(headers) - 1) << read("use/u.c");
    EXPECT_EQ(read("use/u.c").find("#ifndef A_H\n#include \"forward.h\""), std::string::npos) << read("use/u.c");
}

}  // namespace

namespace {

// --strip takes the "#line" --keep-lines wrote away with its wraps: the
// original bytes come back, whatever the line breaks.
TEST_F(KeepLines, StripGivesBackTheOriginal) {
    const struct {
        const char* name;
        std::string header, unit;
        bool posixOnly;
    } cases[] = {
        {"line feeds", "#ifndef A_H\n#define A_H\nint a;\n#endif\n", "#include <a.h>\n#include <a.h>\nint l = __LINE__;\n",
         false},
        {"CR LF", "#ifndef A_H\r\n#define A_H\r\n#endif\r\n", "#include <a.h>\r\n#include <a.h>\r\nint l = __LINE__;\r\n",
         true},
        {"carriage returns", "#ifndef A_H\r#define A_H\r#endif\r", "#include <a.h>\rint l = __LINE__;\r", true},
        // Without --keep-lines: the file's own "#line" after a wrap stays.
        {"a #line of the file's own", "#ifndef A_H\n#define A_H\n#endif\n",
         "#include <a.h>\n#include <a.h>\n#line 40\nint l = __LINE__;\n", false},
    };
    for (const auto& c : cases) {
        if (c.posixOnly && vimbo::platform::kSystemLineEndings != vimbo::platform::LineEndings::kept) continue;
        write("inc/a.h", c.header);
        write("src/u.c", c.unit);
        const bool own = std::string(c.name).find("own") != std::string::npos;
        const std::vector<std::string> rewrite = own ? std::vector<std::string>{"-i", "inc", "--tree", "src"}
                                                     : std::vector<std::string>{"-i", "inc", "--keep-lines", "--tree", "src"};
        ASSERT_EQ(runVimbo(rewrite).status, 0) << c.name;
        ASSERT_NE(read("src/u.c"), c.unit) << c.name;
        EXPECT_EQ(runVimbo({"-i", "inc", "--strip", "--tree", "src"}).status, 0) << c.name;
        EXPECT_EQ(read("src/u.c"), vimbo::test::asWritten(c.unit)) << c.name;
    }
}

}  // namespace
