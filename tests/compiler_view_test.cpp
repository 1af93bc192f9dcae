// Batch runs judge headers as gcc and clang do: the guard is the macro their
// multiple-include optimisation records, whatever its name, read in every
// spelling they read, and the whole run decides what no single header shows.
#include <gtest/gtest.h>

#include "support/engine_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::test::engineRun;
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
    auto run = engineRun({"src", "inc"}).include("inc").tree().run();
    EXPECT_EQ(run.status, 0) << run.messages;
    EXPECT_EQ(read("src/main.c").rfind("#ifndef ", 0) == 0, c.wrapped) << c.description << "\n" << read("src/main.c");
    EXPECT_EQ(engineRun({"src", "inc"}).include("inc").check().tree().run().status, 0) << "one run is final";
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
        // The compiler opens the header although another file defined its
        // guard first, and lists it among the build's dependencies.
        ViewCase{"a guard another file defines", {{"inc/g.h", kGuard}, {"inc/no_g.h", "#define G\n"}}, "#include <g.h>\n",
                 false},
        ViewCase{"an imported header whose guard is undefined", {{"inc/g.h", kGuard}, {"src/m.m", ""}},
                 "#include <g.h>\n#import <g.h>\n#undef G\n", false},
        ViewCase{"an else behind a comment spanning lines", {{"inc/e.h", "#ifndef G\n#define G\n#/*\n*/else\nint b;\n#endif\n"}},
                 "#include <e.h>\n", false}
#ifndef _WIN32
        ,
        ViewCase{"a backslash, which names another file here", {{"inc/d/g.h", kGuard}}, "#include <d\\g.h>\n", false}
#endif
        ));

// "not" is "!" in C++ alone: a header guarded by "#if not defined G" is
// skipped by g++ on its second include, while to C "not" is a name (an error,
// or whatever a macro of that name makes of the test). Only a unit whose
// file's name says C++ wraps it; a ".h" may be either.
struct LanguageCase {
    const char* description;
    std::string unit;    // the file under src/ that includes the header
    std::string header;  // inc/n.h
    bool wrapped;
};

void PrintTo(const LanguageCase& c, std::ostream* out) { *out << c.description; }

class UnitLanguage : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(UnitLanguage, ANotDefinedGuardCountsInCplusplusOnly) {
    const LanguageCase& c = GetParam();
    write("inc/n.h", c.header);
    const std::string text = "#include <n.h>\nint u;\n";
    write("src/" + c.unit, text);
    auto run = engineRun({"src"}).include("inc").tree().run();
    EXPECT_EQ(run.status, 0) << run.messages;
    EXPECT_EQ(read("src/" + c.unit),
              c.wrapped ? vimbo::test::asWritten("#ifndef N\n" + text.substr(0, 15) + "#endif\nint u;\n") : text)
        << c.description;
    EXPECT_EQ(engineRun({"src"}).include("inc").check().tree().run().status, 0) << "one run is final";
}

const std::string kNotDefined = "#if not defined(N)\n#define N\nint n;\n#endif\n";

INSTANTIATE_TEST_SUITE_P(
    Units, UnitLanguage,
    ::testing::Values(
        LanguageCase{"a C++ source", "u.cpp", kNotDefined, true},
        LanguageCase{"a C++ source named in capitals", "U.CPP", kNotDefined, true},
        LanguageCase{"a suffix gcc does not know in capitals", "U.CC", kNotDefined, false},
        LanguageCase{"a C++ header, without parentheses", "u.hpp", "#if  not defined N\n#define N\n#endif\n", true},
        LanguageCase{"a .cxx source with a comment after not", "u.cxx", "#if not/* c */defined N\n#define N\n#endif\n",
                     true},
        LanguageCase{"a C source", "u.c", kNotDefined, false},
        LanguageCase{"a header of either language", "u.h", kNotDefined, false},
        LanguageCase{"a C++ source, but a name that only begins with not", "u.cpp",
                     "#if nothing defined(N)\n#define N\n#endif\n", false},
        LanguageCase{"a C++ source, but a test of more than the macro", "u.cpp",
                     "#if not defined(N) && X\n#define N\n#endif\n", false},
        LanguageCase{"a C++ source, but an else beside the test", "u.cpp",
                     "#if not defined(N)\n#define N\n#else\n#endif\n", false}));

// A file whose every line break is a lone carriage return (an old Mac file)
// is read line by line, as gcc reads it: its guard counts, and a wrap in it
// keeps every byte and takes its line break.
struct CarriageReturnCase {
    const char* description;
    std::string header;    // inc/g.h
    std::string unit;      // src/main.c
    std::string expected;  // src/main.c after the run
};

void PrintTo(const CarriageReturnCase& c, std::ostream* out) { *out << c.description; }

class CarriageReturns : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<CarriageReturnCase> {};

TEST_P(CarriageReturns, EndLinesOnlyInAFileWithoutLineFeeds) {
    if (vimbo::test::kTextMode) GTEST_SKIP() << "Windows text mode has line endings of its own";
    const CarriageReturnCase& c = GetParam();
    write("inc/g.h", c.header);
    write("src/main.c", c.unit);
    auto run = engineRun({"src"}).include("inc").tree().run();
    EXPECT_EQ(run.status, 0) << run.messages;
    EXPECT_EQ(read("src/main.c"), c.expected) << c.description;
    EXPECT_EQ(engineRun({"src"}).include("inc").check().tree().run().status, 0) << "one run is final";
}

const std::string kCrHeader = "/* (c) */\r#ifndef G\r#define G\rint g;\r#endif\r";
const std::string kLfHeader = "#ifndef G\n#define G\nint g;\n#endif\n";

INSTANTIATE_TEST_SUITE_P(
    Files, CarriageReturns,
    ::testing::Values(
        CarriageReturnCase{"a header of lone carriage returns", kCrHeader, "#include <g.h>\n",
                           "#ifndef G\n#include <g.h>\n#endif\n"},
        CarriageReturnCase{"a header of lone carriage returns, a CR LF unit", kCrHeader, "#include <g.h>\r\nint x;\r\n",
                           "#ifndef G\r\n#include <g.h>\r\n#endif\r\nint x;\r\n"},
        CarriageReturnCase{"a header without a last line break", "#ifndef G\r#define G\r#endif", "#include <g.h>\n",
                           "#ifndef G\n#include <g.h>\n#endif\n"},
        CarriageReturnCase{"a unit of lone carriage returns", kLfHeader, "// c\r#include <g.h>\r  #include <g.h>\rint x;",
                           "// c\r#ifndef G\r#include <g.h>\r#endif\r#ifndef G\r  #include <g.h>\r#endif\rint x;"},
        CarriageReturnCase{"both, the include the last line", kCrHeader, "int x;\r#include <g.h>",
                           "int x;\r#ifndef G\r#include <g.h>\r#endif"},
        CarriageReturnCase{"a unit of lone carriage returns with a comment over lines", kLfHeader,
                           "/* a\r#include <g.h>\r*/\r#include <g.h>\r",
                           "/* a\r#include <g.h>\r*/\r#ifndef G\r#include <g.h>\r#endif\r"},
        // Beside line feeds, a lone carriage return ends a line for some
        // compilers only.
        CarriageReturnCase{"a header that mixes them", "#ifndef G\r#define G\n#endif\n", "#include <g.h>\n",
                           "#include <g.h>\n"},
        CarriageReturnCase{"a unit that mixes them", kLfHeader, "#include <g.h>\r#include <g.h>\n",
                           "#include <g.h>\r#include <g.h>\n"}));

// --keep-lines counts such a file's lines as the compiler does, and its
// "#line" takes the file's line break too.
TEST_F(CarriageReturns, KeepTheirNumbersWithKeepLines) {
    if (vimbo::test::kTextMode) GTEST_SKIP() << "Windows text mode has line endings of its own";
    write("inc/g.h", kCrHeader);
    write("src/main.c", "#include <g.h>\rint x = __LINE__;\r");
    auto run = engineRun({"src"}).include("inc").keepLines().tree().run();
    EXPECT_EQ(run.status, 0) << run.messages;
    EXPECT_EQ(read("src/main.c"), "#ifndef G\r#include <g.h>\r#endif\r#line 2\rint x = __LINE__;\r");
}

// --strip and --audit read such a file's lines as the rewrite does.
TEST_F(CarriageReturns, WrapsAreStrippedAndAuditedLikeOthers) {
    if (vimbo::test::kTextMode) GTEST_SKIP() << "Windows text mode has line endings of its own";
    write("inc/g.h", kCrHeader);
    write("inc/h.h", "#ifndef H\r#define H\r#endif\r");
    const std::string unit = "// c\r#include <g.h>\r#include <h.h>\rint x;";
    write("src/main.c", unit);
    ASSERT_EQ(engineRun({"src"}).include("inc").tree().run().status, 0);
    ASSERT_NE(read("src/main.c"), unit);
    EXPECT_EQ(engineRun({"src"}).include("inc").strip().tree().run().status, 0);
    EXPECT_EQ(read("src/main.c"), unit);
    write("src/main.c", "#ifndef H\r#include <g.h>\r#endif\r");
    auto audit = engineRun({"src", "inc"}).include("inc").audit().tree().run();
    EXPECT_EQ(audit.status, 1);
    EXPECT_NE(audit.findings.find("src/main.c:2: #include <g.h> is wrapped in H, but g.h is guarded by G"),
              std::string::npos)
        << audit.findings;
}

// "#include_next" goes on searching after the directory its file was found
// in. It is wrapped only where that is one directory of the search, the
// header found after it is guarded, and reached any other way (beside
// another file: the whole search; compiled itself: an include's search) the
// line finds that header too, or its own file, which its guard, defined on
// its first line inside, then makes nothing.
struct NextCase {
    const char* description;
    Files files;        // besides inc2/x.h, the guarded header found next
    std::string line;   // the include_next line of inc1/x.h, the wrapper
    bool wrapped;
};

void PrintTo(const NextCase& c, std::ostream* out) { *out << c.description; }

class IncludeNext : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<NextCase> {};

const std::string kWrapperTop = "#ifndef WRAP_X_H\n#define WRAP_X_H\n";

TEST_P(IncludeNext, IsWrappedWhereTheHeaderItFindsIsCertain) {
    const NextCase& c = GetParam();
    write("inc2/x.h", "#ifndef REAL_X_H\n#define REAL_X_H\nint x;\n#endif\n");
    write("inc1/x.h", kWrapperTop + c.line + "\n#endif\n");
    for (const auto& [name, text] : c.files) {
        if (text.rfind("@", 0) == 0) {  // a hard link to the file named
            vimbo::test::fs::create_directories((root() / name).parent_path());
            vimbo::test::fs::create_hard_link(root() / text.substr(1), root() / name);
        } else {
            write(name, text);
        }
    }
    auto run = engineRun({"inc1"}).include("inc0;inc1;inc2;inc3").tree();
    const auto tree = run.run();
    EXPECT_EQ(tree.status, 0) << tree.messages;
    const std::string text = read("inc1/x.h");
    EXPECT_EQ(text.find(vimbo::test::asWritten("#ifndef REAL_X_H\n#include_next")) != std::string::npos, c.wrapped) << c.description << "\n" << text;
    EXPECT_EQ(run.check().run().status, 0) << "one run is final";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IncludeNext,
    ::testing::Values(
        NextCase{"a wrapper whose guard is defined first", {}, "#include_next <x.h>", true},
        NextCase{"a quoted name", {}, "#include_next \"x.h\"", true},
        NextCase{"another name, found next and from the start alike",
                 {{"inc2/y.h", "#ifndef REAL_X_H\n#define REAL_X_H\n#endif\n"}, {"inc2/x.h", "int other;\n"}},
                 "#include_next <y.h>", true},
        NextCase{"a header found before the wrapper's directory, from the start",
                 {{"inc0/x.h", "#ifndef EARLY_X_H\n#define EARLY_X_H\n#endif\n"}}, "#include_next <x.h>", false},
        NextCase{"nothing found after the wrapper's directory", {{"inc2/x.h", ""}, {"inc0/z.h", kGuard}},
                 "#include_next <z.h>", false},
        NextCase{"a header found next that its guard does not control", {{"inc2/x.h", "#ifndef REAL_X_H\n#endif\nint x;\n"}},
                 "#include_next <x.h>", false},
        // The same file in a directory before: it may be that directory named
        // again, which the compiler searches only where it is named first.
        NextCase{"the header found next, also found before the wrapper's directory", {{"inc0/x.h", "@inc2/x.h"}},
                 "#include_next <x.h>", false},
        NextCase{"an include_next in a directive's operand", {}, "#define N <x.h>\n#include_next N", false}));

// The wrapper must skip itself when found again while it is open: its guard
// defined before anything else in it, and nothing that undefines it.
TEST_F(IncludeNext, NeedsAWrapperThatSkipsItselfAndLiesInOneDirectory) {
    const struct {
        const char* description;
        std::string wrapper;  // inc1/x.h
        Files more;
        bool wrapped;
    } cases[] = {
        {"defined first", kWrapperTop + "#include_next <x.h>\n#endif\n", {}, true},
        {"code before the guard's definition", "#ifndef WRAP_X_H\nint w;\n#define WRAP_X_H\n#include_next <x.h>\n#endif\n", {},
         false},
        {"no guard of its own", "#include_next <x.h>\nint w;\n", {}, false},
        {"its guard undefined elsewhere", kWrapperTop + "#include_next <x.h>\n#endif\n", {{"inc1/u.h", "#undef WRAP_X_H\n"}},
         false},
#ifndef _WIN32
        {"a link to it in a later directory", kWrapperTop + "#include_next <x.h>\n#endif\n", {{"inc3/x.h", "@link"}}, false},
#endif
    };
    for (const auto& c : cases) {
        vimbo::test::fs::remove_all(root() / "inc1");
        vimbo::test::fs::remove_all(root() / "inc3");
        write("inc2/x.h", "#ifndef REAL_X_H\n#define REAL_X_H\nint x;\n#endif\n");
        write("inc1/x.h", c.wrapper);
        for (const auto& [name, text] : c.more) {
            if (text == "@link") {
                vimbo::test::fs::create_directories(root() / "inc3");
                vimbo::test::fs::create_symlink("../inc1/x.h", root() / name);
            } else {
                write(name, text);
            }
        }
        auto run = engineRun({"inc1"}).include("inc1;inc2;inc3").tree().run();
        EXPECT_EQ(run.status, 0) << run.messages;
        EXPECT_EQ(read("inc1/x.h").find(vimbo::test::asWritten("#ifndef REAL_X_H\n#include_next")) != std::string::npos,
                  c.wrapped) << c.description;
    }
}

// --strip takes such a wrap away again, and --audit finds it right.
TEST_F(IncludeNext, WrapsAreStrippedAndAuditedLikeOthers) {
    write("inc2/x.h", "#ifndef REAL_X_H\n#define REAL_X_H\nint x;\n#endif\n");
    const std::string wrapper = kWrapperTop + "#include_next <x.h>\n#endif\n";
    write("inc1/x.h", wrapper);
    const auto run = engineRun({"inc1"}).include("inc1;inc2").tree();
    ASSERT_EQ(run.run().status, 0);
    ASSERT_NE(read("inc1/x.h"), wrapper);
    auto audit = vimbo::test::EngineRun(run).audit().run();
    EXPECT_EQ(audit.status, 0) << audit.findings;
    EXPECT_EQ(vimbo::test::EngineRun(run).strip().run().status, 0);
    EXPECT_EQ(read("inc1/x.h"), vimbo::test::asWritten(wrapper));
    write("inc1/x.h", kWrapperTop + "#ifndef WRAP_X_H\n#include_next <x.h>\n#endif\n#endif\n");
    audit = vimbo::test::EngineRun(run).audit().run();
    EXPECT_EQ(audit.status, 1);
    EXPECT_NE(audit.findings.find("is guarded by REAL_X_H"), std::string::npos) << audit.findings;
}

// The build's command lines: a macro one of them defines counts as defined
// in front of every header.
TEST_F(CompilerView, ABuildThatDefinesAGuardKeepsItsHeaderUnwrapped) {
    for (const std::string& header : {"#pragma once\n" + kGuard, kGuard}) {
        write("inc/o.h", header);
        write("src/main.c", "#include <o.h>\n");
        const std::string dir = vimbo::test::fs::absolute(root()).generic_string();
        write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", "
                                             "\"command\": \"cc -Iinc -DG -c src/main.c\"}]");
        EXPECT_EQ(engineRun({"src"}).buildDirectory("build").tree().run().status, 0);
        EXPECT_EQ(read("src/main.c"), "#include <o.h>\n") << header;
    }
}

#ifndef _WIN32
// A header reached through a symbolic link is a second name of its file,
// which the compiler opens and records whatever guard is defined.
TEST_F(CompilerView, AHeaderReachedThroughALinkIsLeftAlone) {
    write("other/y.h", "#ifndef YB\n#define YB\n#endif\n");
    vimbo::test::fs::create_directories(root() / "inc");
    vimbo::test::fs::create_symlink("../other/y.h", root() / "inc/y.h");
    write("src/main.c", "#include <y.h>\n");
    EXPECT_EQ(engineRun({"src"}).include("inc").tree().run().status, 0);
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
    auto audit = engineRun({"src", "inc"}).include("inc").audit().tree().run();
    EXPECT_EQ(audit.status, 1);
    EXPECT_EQ(audit.documents, "vimbo: one guard for several headers: G: inc/copy.h inc/g.h\n");
    EXPECT_EQ(audit.findings, "src/main.c:2: #include <b.h> is wrapped in A_H, but b.h is guarded by B_H\n");
}

}  // namespace
