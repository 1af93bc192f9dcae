// Batch runs judge headers as gcc and clang do: the guard is the macro their
// multiple-include optimisation records, whatever its name, read in every
// spelling they read, and the whole run decides what no single header shows.
#include <gtest/gtest.h>

#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

using vimbo::test::runVimbo;
using Files = std::vector<std::pair<std::string, std::string>>;

struct ViewCase {
    const char* description;
    Files files;              // besides src/main.c
    std::string main;         // src/main.c; its first line is the include asked about
    bool wrapped;             // whether that include is wrapped by --tree
};

void PrintTo(const ViewCase& c, std::ostream* out) { *out << c.description; }

class CompilerView : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(CompilerView, WrapsWhatTheCompilerWouldSkip) {
    const ViewCase& c = GetParam();
    for (const auto& [name, text] : c.files) write(name, text);
    write("src/main.c", c.main);
    auto run = runVimbo({"-i", "inc", "--tree", "src", "inc"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read("src/main.c").rfind("#ifndef ", 0) == 0, c.wrapped) << c.description << "\n" << read("src/main.c");
    EXPECT_EQ(runVimbo({"-i", "inc", "--check", "--tree", "src", "inc"}).status, 0) << "one run is final";
}

const std::string kGuard = "#ifndef G\n#define G\nint g;\n#endif\n";

INSTANTIATE_TEST_SUITE_P(
    Wrapped, CompilerView,
    ::testing::Values(
        ViewCase{"a guard unlike the file's name", {{"inc/core.h", "#ifndef CLBL_TRTS_X\n#define CLBL_TRTS_X\n#endif\n"}},
                 "#include <core.h>\n", true},
        ViewCase{"null directives around the guard", {{"inc/g.h", "# /* pp */\n" + kGuard + "#\n"}}, "#include <g.h>\n", true},
        ViewCase{"a spaced include", {{"inc/g.h", kGuard}}, "#  include <g.h>\n", true},
        ViewCase{"a digraph include with a comment", {{"inc/g.h", kGuard}}, "%:include /* c */ <g.h>\n", true},
        ViewCase{"a spaced test and a tab", {{"inc/g.h", "# ifndef\tG\n#  define G\n# endif\n"}}, "#include <g.h>\n", true},
        ViewCase{"pragma once beside a guard no file undefines", {{"inc/o.h", "#pragma once\n" + kGuard}},
                 "#include <o.h>\n", true}));

INSTANTIATE_TEST_SUITE_P(
    LeftAlone, CompilerView,
    ::testing::Values(
        ViewCase{"a feature test the header does not define", {{"inc/f.h", "#ifndef Py_LIMITED_API\nint f;\n#endif\n"}},
                 "#include <f.h>\n", false},
        ViewCase{"two headers with one guard", {{"inc/g.h", kGuard}, {"inc/copy.h", kGuard}}, "#include <g.h>\n", false},
        ViewCase{"a guard poisoned", {{"inc/g.h", kGuard}, {"inc/p.h", "#pragma GCC poison G\n"}}, "#include <g.h>\n",
                 false},
        ViewCase{"pragma once and a file that undefines the guard", {{"inc/o.h", "#pragma once\n" + kGuard}},
                 "#include <o.h>\n#undef G\n#include <o.h>\n", false},
        ViewCase{"pragma once and a file that defines the guard first", {{"inc/o.h", "#pragma once\n" + kGuard}},
                 "#include <o.h>\n#define G\n", false},
        ViewCase{"an imported header whose guard is undefined", {{"inc/g.h", kGuard}, {"src/m.m", ""}},
                 "#include <g.h>\n#import <g.h>\n#undef G\n", false},
        ViewCase{"an else behind a comment spanning lines", {{"inc/e.h", "#ifndef G\n#define G\n#/*\n*/else\nint b;\n#endif\n"}},
                 "#include <e.h>\n", false}
#ifndef _WIN32
        ,
        ViewCase{"a backslash, which names another file here", {{"inc/d/g.h", kGuard}}, "#include <d\\g.h>\n", false}
#endif
        ));

// The build's command lines: a macro one of them defines counts as defined
// in front of every header.
TEST_F(CompilerView, ABuildThatDefinesAGuardKeepsItsPragmaOnceHeaderUnwrapped) {
    write("inc/o.h", "#pragma once\n" + kGuard);
    write("src/main.c", "#include <o.h>\n");
    const std::string dir = vimbo::test::fs::absolute(root()).generic_string();
    write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", "
                                         "\"command\": \"cc -Iinc -DG -c src/main.c\"}]");
    EXPECT_EQ(runVimbo({"-p", "build", "--tree", "src"}).status, 0);
    EXPECT_EQ(read("src/main.c"), "#include <o.h>\n");
}

#ifndef _WIN32
// A header reached through a symbolic link is a second name of its file,
// which the compiler opens and records whatever guard is defined.
TEST_F(CompilerView, AHeaderReachedThroughALinkIsLeftAlone) {
    write("other/y.h", "#ifndef YB\n#define YB\n#endif\n");
    vimbo::test::fs::create_directories(root() / "inc");
    vimbo::test::fs::create_symlink("../other/y.h", root() / "inc/y.h");
    write("src/main.c", "#include <y.h>\n");
    EXPECT_EQ(runVimbo({"-i", "inc", "--tree", "src"}).status, 0);
    EXPECT_EQ(read("src/main.c"), "#include <y.h>\n");
}
#endif

// --audit names every guard two headers share, and judges a wrapper whose
// macro is another header's guard.
TEST_F(CompilerView, AuditReportsSharedGuardsAndCopyPasteSlips) {
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    write("inc/g.h", kGuard);
    write("inc/copy.h", kGuard);
    write("src/main.c", "#ifndef A_H\n#include <b.h>\n#endif\n");
    auto audit = runVimbo({"-i", "inc", "--audit", "--tree", "src", "inc"});
    EXPECT_EQ(audit.status, 1);
    EXPECT_EQ(audit.out, "vimbo: one guard for several headers: G: inc/copy.h inc/g.h\n"
                         "src/main.c:2: #include <b.h> is wrapped in A_H, but b.h is guarded by B_H\n");
}

}  // namespace
