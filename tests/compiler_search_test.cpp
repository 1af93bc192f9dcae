// Batch runs search where the compiler says it searches: its -E -v list,
// read as it prints it, asked with the build's own flags, in each language a
// header can be compiled in; cl's include stack and precompiled headers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "analysis/header_cache.h"
#include "analysis/header_finder.h"
#include "project/compiler_search.h"
#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

using vimbo::project::Language;
using vimbo::project::SearchList;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

bool have(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(CompilerSearch, TheListIsReadAsTheCompilerPrintsIt) {
    const struct {
        const char* name;
        std::string text;
        bool found;
        Strings quoted, angle;
        bool followable;
    } cases[] = {
        {"gcc",
         "ignoring duplicate directory \"/usr/include\"\n#include \"...\" search starts here:\n q\n"
         "#include <...> search starts here:\n inc\n /usr/lib/gcc/x86_64-linux-gnu/12/../../../../include/c++/12\n"
         " /usr/include\nEnd of search list.\n",
         true, {"/b/q"}, {"/b/inc", "/usr/lib/gcc/x86_64-linux-gnu/12/../../../../include/c++/12", "/usr/include"}, true},
        {"clang on Apple, with a framework",
         "#include <...> search starts here:\r\n /usr/include\r\n /System/Library/Frameworks (framework directory)\r\n"
         "End of search list.\r\n",
         true, {}, {"/usr/include"}, false},
        {"a compiler that stopped before its list", "cc1: error: bad option\n", false, {}, {}, true},
        {"an end with no list", "End of search list.\n", false, {}, {}, true},
    };
    for (const auto& c : cases) {
        SearchList list;
        EXPECT_EQ(vimbo::project::parseSearchList(c.text, "/b", list), c.found) << c.name;
        EXPECT_EQ(list.quoted, c.quoted) << c.name;
        EXPECT_EQ(list.angle, c.angle) << c.name;
        EXPECT_EQ(list.followable, c.followable) << c.name;
    }
}

TEST(CompilerSearch, AskedWithTheEntrysOwnFlagsAndNothingItWrites) {
    const struct {
        Strings arguments;
        std::string source;
        Language language;
        bool asks;
        Strings command;
    } cases[] = {
        {{"ccache", "g++", "-std=c++17", "-Iinc", "-MD", "-MF", "a.d", "-c", "src/a.cc", "-o", "a.o", "-include", "pch.h"},
         "/b/src/a.cc",
         Language::cxx,
         true,
         {"g++", "-std=c++17", "-Iinc", "-E", "-v", "-x", "c++", "-"}},
        {{"gcc", "-x", "c++", "--sysroot=/s", "-nostdinc", "/b/src/a.c", "-save-temps"},
         "/b/src/a.c",
         Language::cxx,
         true,
         {"gcc", "--sysroot=/s", "-nostdinc", "-E", "-v", "-x", "c++", "-"}},
        {{"clang-cl", "/Iinc", "/Yupch.h", "/FIforced.h", "/Foa.obj", "/c", "/Tpsrc/a.c"},
         "/b/src/a.c",
         Language::cxx,
         true,
         {"clang-cl", "/Iinc", "-v", "/E", "/TP", "-"}},
        {{"c++", "-c", "gen/t.inc"}, "/b/gen/t.inc", Language::cxx, true, {"c++", "-E", "-v", "-x", "c++", "-"}},
        // g++ and clang++ compile a .c as C++.
        {{"g++", "-c", "a.c"}, "/b/a.c", Language::cxx, true, {"g++", "-E", "-v", "-x", "c++", "-"}},
        {{"clang", "--driver-mode=g++", "-c", "a.c"}, "/b/a.c", Language::cxx, true,
         {"clang", "--driver-mode=g++", "-E", "-v", "-x", "c++", "-"}},
        // The preprocessor's own outputs are not written again.
        {{"gcc", "-Wp,-MMD,.a.o.d", "-c", "a.c"}, "/b/a.c", Language::c, true, {"gcc", "-E", "-v", "-x", "c", "-"}},
        // Searches the list can't tell: no list at all.
        {{"gcc", "-I-", "-Iinc", "-c", "a.c"}, "/b/a.c", Language::c, false, {}},
        {{"clang", "-ivfsoverlay", "o.yaml", "-c", "a.c"}, "/b/a.c", Language::c, false, {}},
        {{"cl", "/Iinc", "/c", "src/a.c"}, "/b/src/a.c", Language::c, false, {}},
        {{"tcc", "-Iinc", "src/a.c"}, "/b/src/a.c", Language::c, false, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vimbo::project::languageOf(c.arguments, c.source), c.language) << c.arguments[0] << " " << c.source;
        Strings command;
        std::string error;
        EXPECT_EQ(vimbo::project::searchListCommand(c.arguments, c.source, "/b", c.language, command, error), c.asks)
            << c.arguments[0];
        EXPECT_EQ(command, c.command) << c.arguments[0];
    }
    // cl's list is its /I, then INCLUDE (unless /X), and it follows the include stack.
    const SearchList cl = vimbo::project::clSearchList({"cl", "/Iinc", "/c", "a.c"}, "/b", "C:\\sdk;/b/inc");
    EXPECT_EQ(cl.angle, (Strings{"/b/inc", "C:\\sdk"}));
    EXPECT_TRUE(cl.includeStack);
    EXPECT_TRUE(vimbo::project::clSearchList({"cl", "/X", "/c", "a.c"}, "/b", "/sdk").angle.empty());
}

class CompilerSearchRun : public vimbo::test::TempDirTest {};

// What a batch run wraps <x.h> in is what the compiler of each language
// finds: here gcc's C_INCLUDE_PATH holds one x.h and CPLUS_INCLUDE_PATH
// another. A .h of a run of both languages is wrapped in neither guard.
TEST_F(CompilerSearchRun, EachLanguageFindsItsOwnHeader) {
    if (!have("cc") || !have("c++")) GTEST_SKIP() << "needs cc and c++";
    write("cinc/x.h", "#ifndef C_X_H\n#define C_X_H\n#endif\n");
    write("cxxinc/x.h", "#ifndef CXX_X_H\n#define CXX_X_H\n#endif\n");
    write("none/.keep", "");
    const vimbo::test::ScopedEnv c("C_INCLUDE_PATH", (root() / "cinc").string().c_str());
    const vimbo::test::ScopedEnv cxx("CPLUS_INCLUDE_PATH", (root() / "cxxinc").string().c_str());
    const std::string include = "#include <x.h>\n";
    const struct {
        const char* name;
        Strings files;     // each holds `include`
        std::string file;  // the one looked at
        std::string macro;  // the guard it is wrapped in; "" for none
    } cases[] = {
        {"C++ source", {"src/a.cpp"}, "src/a.cpp", "CXX_X_H"},
        {"C source", {"src/a.c"}, "src/a.c", "C_X_H"},
        {"header of a C++ run", {"src/a.cpp", "src/a.h"}, "src/a.h", "CXX_X_H"},
        {"header of a C run", {"src/a.c", "src/a.h"}, "src/a.h", "C_X_H"},
        {"header of a run of both", {"src/a.cpp", "src/b.c", "src/a.h"}, "src/a.h", ""},
        {"C++ header of a run of both", {"src/a.cpp", "src/b.c", "src/a.hpp"}, "src/a.hpp", "CXX_X_H"},
    };
    for (const auto& k : cases) {
        fs::remove_all(root() / "src");
        for (const std::string& file : k.files) write(file, include);
        const auto run = runVimbo({"-i", "none", "--tree", "src"});
        EXPECT_EQ(run.status, 0) << k.name << run.err;
        EXPECT_EQ(read(k.file), k.macro.empty() ? include : "#ifndef " + k.macro + "\n" + include + "#endif\n")
            << k.name;
    }
    // A unity build: a .c that a .cpp includes is compiled as C++ too; a
    // .hpp is C++'s wherever it is included.
    fs::remove_all(root() / "src");
    write("src/u.cpp", "#include \"impl.c\"\n#include \"h.hpp\"\n");
    write("src/impl.c", include);
    write("src/h.hpp", include);
    write("src/other.c", "int o;\n");
    EXPECT_EQ(runVimbo({"-i", "none", "--tree", "src"}).status, 0);
    EXPECT_EQ(read("src/impl.c"), include);
    EXPECT_EQ(read("src/h.hpp"), "#ifndef CXX_X_H\n" + include + "#endif\n");
}

#ifndef _WIN32
// The compiler named (--compiler, or the compiler key) is asked; one that
// can't say finds no header; none on the machine leaves the -i directories
// alone, as before, with a warning.
TEST_F(CompilerSearchRun, ACompilerThatCantBeAskedGuessesNothing) {
    if (!have("cc")) GTEST_SKIP() << "no C compiler";
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    const std::string main = "#include <a.h>\nint x;\n";
    const std::string wrapped = "#ifndef A_H\n#include <a.h>\n#endif\nint x;\n";
    write("tools/cc", "#!/bin/sh\nexec cc \"$@\"\n");
    ASSERT_EQ(::chmod((root() / "tools/cc").c_str(), 0755), 0);
    const struct {
        const char* name;
        Strings arguments;
        std::string config;  // .vimbo.toml
        std::string text;
        std::string message;
    } cases[] = {
        {"the default", {}, "", wrapped, ""},
        {"named", {"--compiler", (root() / "tools/cc").string()}, "", wrapped, ""},
        {"printing no list", {"--compiler", "false"}, "", main, "vimbo: note: false printed no search list"},
        {"not on the machine", {"--compiler", "no-such-cc"}, "", wrapped,
         "vimbo: warning: can't run no-such-cc to ask for its search list; the compiler's own directories are unknown"},
        {"the repository's own, named by its configuration", {}, "compiler = \"tools/cc\"\n", main,
         "is named from the unit's directory"},
    };
    for (const auto& c : cases) {
        write("src/m.c", main);
        if (c.config.empty()) fs::remove(root() / ".vimbo.toml");
        else write(".vimbo.toml", c.config);
        Strings arguments = c.arguments;
        for (const char* word : {"-i", "inc", "--tree", "src"}) arguments.push_back(word);
        const auto run = runVimbo(arguments);
        EXPECT_EQ(run.status, 0) << c.name << run.err;
        EXPECT_EQ(read("src/m.c"), c.text) << c.name << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << run.err;
    }
}

#endif

// cl and clang-cl look for a quoted name beside each file up the include
// stack: known for the unit compiled, not for a header. A header the build
// precompiles (/Yu) stays unwrapped, and --verify does not claim such a unit.
TEST_F(CompilerSearchRun, ClRulesFromTheDatabase) {
    if (!have("clang-cl-14") && !have("clang-cl")) GTEST_SKIP() << "no clang-cl";
    const std::string clangCl = have("clang-cl") ? "clang-cl" : "clang-cl-14";
    write("inc/x.h", "#ifndef X_H\n#define X_H\n#endif\n");
    write("inc/pch.h", "#ifndef PCH_H\n#define PCH_H\n#endif\n");
    write("src/y.h", "#include \"x.h\"\n");
    write("src/a.cpp", "#include \"pch.h\"\n#include \"x.h\"\n#include \"y.h\"\n#include \"y.h\"\n");
    const std::string dir = root().string();
    write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/a.cpp\", \"arguments\": [\"" +
                                             clangCl + "\", \"/Iinc\", \"/Yupch.h\", \"/c\", \"src/a.cpp\"]}]");
    const auto run = runVimbo({"-p", "build", "--tree", "src"});
    EXPECT_EQ(run.status, 0) << run.err;
    // x.h from y.h depends on the stack: y.h forwards to no known header.
    EXPECT_EQ(read("src/a.cpp"), "#include \"pch.h\"\n#ifndef X_H\n#include \"x.h\"\n#endif\n#include \"y.h\"\n#include \"y.h\"\n");
    EXPECT_EQ(read("src/y.h"), "#include \"x.h\"\n");
    const auto verify = runVimbo({"-p", "build", "--verify", "--check", "--tree", "src"});
    EXPECT_NE(verify.err.find("not verified: the build compiles it with a precompiled header (/Yupch.h)"),
              std::string::npos)
        << verify.err;
}

// The finder's own rule for the stack, on real files.
TEST_F(CompilerSearchRun, TheIncludeStackIsKnownForTheUnitAlone) {
    write("inc/x.h", "int x;\n");
    write("src/a.c", "");
    write("src/h.h", "");
    vimbo::analysis::HeaderCache cache(vimbo::platform::defaultFileSystemOps());
    const vimbo::analysis::HeaderFinder finder(cache);
    vimbo::analysis::HeaderLookup lookup;
    lookup.searchPath = "inc";
    lookup.rules = vimbo::analysis::LookupRules::compiler;
    lookup.includeStack = true;
    lookup.unit = "src/a.c";
    EXPECT_EQ(finder.findLikeCompiler("x.h", true, "src/a.c", lookup), "inc\\x.h");
    EXPECT_EQ(finder.findLikeCompiler("x.h", true, "src/h.h", lookup), "");
    EXPECT_EQ(finder.findLikeCompiler("x.h", false, "src/h.h", lookup), "inc\\x.h");
}

}  // namespace
