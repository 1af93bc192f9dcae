// compile_commands.json: each source searched with the include directories
// its build gives it, headers with the union of them; broken databases refused.
#include <gtest/gtest.h>

#include "project/compile_database.h"
#include "support/command_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::project::includeDirectories;
using vimbo::project::splitCommandLine;
using vimbo::test::asWritten;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;

TEST(CompileDatabase, CommandsSplitAsAShellSplitsThem) {
    const struct {
        std::string command;
        Strings words;
    } cases[] = {
        {"cc -c a.c", {"cc", "-c", "a.c"}},
        {"  cc\t-I'my dir'  -DX=\"a b\" ", {"cc", "-Imy dir", "-DX=a b"}},
        {"cc -DQ=\\\"q\\\" x\\ y.c", {"cc", "-DQ=\"q\"", "x y.c"}},
        {"cc -I\"a\\\\b\" ''", {"cc", "-Ia\\b", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.command), c.words) << c.command;
}

// gcc and clang read a response file with a backslash that escapes inside
// quotes too, unlike a shell.
TEST(CompileDatabase, ResponseFilesSplitAsTheCompilerSplitsThem) {
    const struct {
        std::string text;
        Strings words;
    } cases[] = {
        {"-DX='a\\'b' -Iinc '-DZ'", {"-DX=a'b", "-Iinc", "-DZ"}},
        {"\"-I my dir\"\n-c\r\n", {"-I my dir", "-c"}},
        {"a\\ b '' \"x\\\"y\"", {"a b", "", "x\"y"}},
    };
    for (const auto& c : cases) EXPECT_EQ(vimbo::project::splitResponseFile(c.text), c.words) << c.text;
}

TEST(CompileDatabase, IncludeDirectoriesInTheCompilersOrder) {
    const struct {
        Strings arguments;
        Strings quoted, search;
        bool followable;
    } cases[] = {
        {{"g++", "-isystem", "sys", "-Iinc", "-I", "/abs/inc", "-iquote", "q", "/Iwin", "-DX", "-I../up", "-Iinc"},
         {"/build/dir/q"},
         // ".." left to the system, which goes up from where a link leads.
         {"/build/dir/inc", "/abs/inc", "/build/dir/win", "/build/dir/../up", "/build/dir/sys"},
         true},
        // Every spelling, and -idirafter, which comes after the compiler's own.
        {{"clang", "--include-directory=a", "--include-directory", "b", "-imsvc", "m", "/imsvc", "n", "-idirafter",
          "late", "--include-directory-after=later", "-I", "lib:x"},
         {},
         {"/build/dir/a", "/build/dir/b", "/build/dir/lib:x", "/build/dir/m", "/build/dir/n"},
         true},
        // gcc: a directory that is also a system one is searched as one.
        {{"gcc", "-I", "x", "-isystem", "x", "-I", "y", "-iquote", "x"}, {}, {"/build/dir/y", "/build/dir/x"}, true},
        {{"gcc", "-Ia", "-I-", "-Ib"}, {}, {"/build/dir/a", "/build/dir/b"}, false},
        {{"gcc", "-I=/usr/x"}, {}, {}, false},
    };
    for (const auto& c : cases) {
        const auto found = includeDirectories(c.arguments, "/build/dir");
        EXPECT_EQ(found.quoted, c.quoted) << c.arguments[1];
        EXPECT_EQ(found.search, c.search) << c.arguments[1];
        EXPECT_EQ(found.followable, c.followable) << c.arguments[1];
    }
    EXPECT_EQ(vimbo::project::commandLineMacros({"cc", "-DA", "-D", "B=1", "-UC", "/DD(x)=x", "-c"}),
              (Strings{"A", "B", "C", "D"}));
}

class Database : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("proj/conf/cfg.h", "#ifndef CFG_H\n#define CFG_H\n#endif\n");
        write("proj/lib/lib.h", "#ifndef LIB_H\n#define LIB_H\n#endif\n");
        write("proj/sys/sys.h", "#ifndef SYS_H\n#define SYS_H\n#endif\n");
        write("proj/src/main.c", "#include \"cfg.h\"\n#include <lib.h>\n#include <cfg.h>\n");
        write("proj/src/util.c", "#include <sys.h>\n#include <lib.h>\n");
        write("proj/src/api.h", "#include <lib.h>\n#include <sys.h>\n");
        const std::string root = vimbo::test::fs::absolute(this->root()).generic_string();
        write("proj/build/compile_commands.json",
              "[{\"directory\": \"" + root + "/proj/build\", \"file\": \"../src/main.c\",\n"
              "  \"arguments\": [\"cc\", \"-iquote\", \"../conf\", \"-I../lib\", \"-c\", \"../src/main.c\"]},\n"
              " {\"directory\": \"" + root + "/proj\", \"file\": \"" + root + "/proj/src/util.c\",\n"
              "  \"command\": \"cc -isystem " + root + "/proj/sys -c src/util.c\"}]\n");
    }
};

// Every way a command line defines a macro ahead of the unit's includes
// counts: a guard so defined is one the compiler opens its header under.
TEST_F(Database, MacrosOfTheCommandLineAndTheFilesItForcesIn) {
    write("cfg/forced.h", "#define FORCED_H\n#  undef  OFF_H\nint x;\n");
    write("cfg/macros.h", "#define MACROS_H 1\n");
    const Strings given = {"gcc", "-Wp,-DWP_H,-UWPU_H", "--define-macro=LONG_H", "--define-macro", "LONGER_H",
                           "-include", "cfg/forced.h", "-imacros", root().generic_string() + "/cfg/macros.h",
                           "-include-pch", "x.pch", "-c", "a.c"};
    EXPECT_EQ(vimbo::project::commandLineMacros(given, root().generic_string()),
              (Strings{"WP_H", "WPU_H", "LONG_H", "LONGER_H", "FORCED_H", "OFF_H", "MACROS_H"}));
}

TEST_F(Database, EachFileGetsItsOwnDirectoriesAndHeadersTheUnion) {
    // The build's compiler says where its units look.
    if (!vimbo::test::compilerAvailable()) GTEST_SKIP() << "no C compiler";
    auto o = runVimbo({"-p", "proj/build", "--tree", "proj/src"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read("proj/src/main.c"),
              asWritten("#ifndef CFG_H\n#include \"cfg.h\"\n#endif\n#ifndef LIB_H\n#include <lib.h>\n#endif\n"
                        "#include <cfg.h>\n"))
        << "an -iquote directory serves quoted names only";
    EXPECT_EQ(read("proj/src/util.c"), asWritten("#ifndef SYS_H\n#include <sys.h>\n#endif\n#include <lib.h>\n"))
        << "util.c is not built with ../lib";
    EXPECT_EQ(read("proj/src/api.h"),
              asWritten("#ifndef LIB_H\n#include <lib.h>\n#endif\n#ifndef SYS_H\n#include <sys.h>\n#endif\n"))
        << "a header takes every directory of the build";
}

TEST_F(Database, MissingOrBrokenDatabasesAreErrors) {
    const struct {
        const char* json;
        const char* message;
    } cases[] = {
        {"[{\"directory\": \"/\", \"file\": \"a.c\"", "not a valid compilation database"},
        {"{\"directory\": \"/\"}", "not a valid compilation database (not a list of entries)"},
        {"[{\"file\": \"a.c\", \"command\": \"cc\"}]", "entry 1: needs \"directory\" and \"file\" strings"},
        {"[{\"directory\": \"/\", \"file\": \"a.c\"}]", "entry 1: needs \"arguments\" or \"command\""},
        {"[{\"directory\": \"/\", \"file\": \"a.c\", \"arguments\": [\"cc\", 1]}]", "\"arguments\" must hold strings"},
    };
    for (const auto& c : cases) {
        write("bad/compile_commands.json", c.json);
        auto o = runVimbo({"-p", "bad", "--check", "proj/src/main.c"});
        EXPECT_EQ(o.status, 2) << c.json;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    }
    auto missing = runVimbo({"-p", "nowhere", "--check", "proj/src/main.c"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vimbo: -p nowhere: no such file or directory\n");
    write("empty/sub/x.c", "");
    auto none = runVimbo({"-p", "empty/sub", "--check", "proj/src/main.c"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "vimbo: -p empty/sub: no compile_commands.json there or in a directory above\n");
    EXPECT_EQ(runVimbo({"-p", "proj/build", "proj/src/main.c"}).status, 2) << "-p goes with the batch modes";
    EXPECT_EQ(runVimbo({"--check", "proj/src/main.c", "-p"}).status, 2);
}

// Two units find <x.h> in different directories: a header that includes it
// is part of both, so no guard fits it; each unit's own include is wrapped.
TEST_F(Database, HeadersAreWrappedOnlyWhereEveryUnitFindsTheSameHeader) {
    // The build's compiler says where its units look.
    if (!vimbo::test::compilerAvailable()) GTEST_SKIP() << "no C compiler";
    write("two/a/x.h", "#ifndef XA\n#define XA\n#endif\n");
    write("two/b/x.h", "#ifndef XB\n#define XB\n#endif\n");
    write("two/a/y.h", "#ifndef Y_H\n#define Y_H\n#endif\n");
    write("two/ua.c", "#include <x.h>\n");
    write("two/ub.c", "#include <x.h>\n");
    write("two/both.h", "#include <x.h>\n#include <y.h>\n# include <x.h>\n%:include <x.h>\n");
    const std::string root = vimbo::test::fs::absolute(this->root()).generic_string() + "/two";
    write("two/compile_commands.json",
          "[{\"directory\": \"" + root + "\", \"file\": \"ua.c\", \"command\": \"cc -Ia -c ua.c\"},\n"
          " {\"directory\": \"" + root + "\", \"file\": \"ub.c\", \"command\": \"cc -Ib -c ub.c\"}]\n");
    auto o = runVimbo({"-p", "two", "--tree", "two"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read("two/ua.c"), asWritten("#ifndef XA\n#include <x.h>\n#endif\n"));
    EXPECT_EQ(read("two/ub.c"), asWritten("#ifndef XB\n#include <x.h>\n#endif\n"));
    EXPECT_EQ(read("two/both.h"),
              asWritten("#include <x.h>\n#ifndef Y_H\n#include <y.h>\n#endif\n# include <x.h>\n%:include <x.h>\n"))
        << "y.h is found in one place only; x.h in two, however the include is spelt";

    // A source the build compiles twice is part of two units, as a header is.
    write("two/twice.c", "#include <x.h>\n");
    write("two/compile_commands.json",
          "[{\"directory\": \"" + root + "\", \"file\": \"twice.c\", \"command\": \"cc -Ia -c twice.c\"},\n"
          " {\"directory\": \"" + root + "\", \"file\": \"twice.c\", \"command\": \"cc -Ib -c twice.c\"}]\n");
    EXPECT_EQ(runVimbo({"-p", "two", "--tree", "two/twice.c"}).status, 0);
    EXPECT_EQ(read("two/twice.c"), "#include <x.h>\n");
}

}  // namespace
