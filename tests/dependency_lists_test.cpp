// A batch run's wraps leave the build's dependency lists as they were: an
// include is wrapped only where the compiler would have opened nothing new,
// and each case is checked with gcc itself (-MM, and -E -P) before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/command_run.h"
#include "support/temp_dir.h"
#include "vimbo/engine/child_process.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::test::runVimbo;
using Files = std::vector<std::pair<std::string, std::string>>;

enum class Link { none, hard, symbolic, directory };

struct DependencyCase {
    const char* description;
    Files files;                        // besides src/main.c
    std::string main;                   // src/main.c
    int wraps;                          // include lines of src/main.c the run wraps
    std::vector<std::string> vimbo;     // the run's arguments
    std::vector<std::string> compiler;  // what gcc gets besides -Iinc
    Link link = Link::none;             // inc/b.h made a link to inc/a.h
};

void PrintTo(const DependencyCase& c, std::ostream* out) { *out << c.description; }

const std::vector<std::string> kTreeAndHeaders = {"-i", "inc", "--tree", "src", "inc"};
const std::vector<std::string> kTreeOnly = {"-i", "inc", "--tree", "src"};
const std::vector<std::string> kBuild = {"-p", "build", "--tree", "src", "inc"};

int countOf(const std::string& text, const std::string& word) {
    int count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
    return count;
}

class DependencyLists : public vimbo::test::TempDirTest, public ::testing::WithParamInterface<DependencyCase> {
protected:
    bool haveGcc() {
        vimbo::platform::ChildProcess child;
        child.arguments = {"gcc", "--version"};
        const auto outcome = vimbo::platform::runChild(child);
        return outcome.started && outcome.status == 0;
    }
    // What gcc makes of src/main.c: the names its dependency list holds, in
    // the order they first come (gcc names a header again when another
    // directory's lookup opens it again; the list stands for the same
    // files), then its preprocessed text.
    std::string gccView(const std::vector<std::string>& extra) {
        std::string view;
        for (const char* mode : {"-MM", "-E"}) {
            vimbo::platform::ChildProcess child;
            child.arguments = {"gcc", mode, "-P", "-Iinc"};
            child.arguments.insert(child.arguments.end(), extra.begin(), extra.end());
            child.arguments.push_back("src/main.c");
            const auto outcome = vimbo::platform::runChild(child);
            EXPECT_EQ(outcome.status, 0) << outcome.errors;
            if (std::string(mode) == "-E") {
                view += outcome.output;
                continue;
            }
            std::istringstream words(outcome.output);
            std::vector<std::string> names;
            for (std::string word; words >> word;)
                if (word != "\\" && std::find(names.begin(), names.end(), word) == names.end()) names.push_back(word);
            for (const std::string& name : names) view += name + " ";
            view += "\n----\n";
        }
        return view;
    }
};

TEST_P(DependencyLists, StayAsTheCompilerMakesThem) {
    const DependencyCase& c = GetParam();
    if (!haveGcc()) GTEST_SKIP() << "no gcc";
    for (const auto& [name, text] : c.files) write(name, text);
    if (c.link == Link::hard) fs::create_hard_link(root() / "inc/a.h", root() / "inc/b.h");
    if (c.link == Link::symbolic) fs::create_symlink("a.h", root() / "inc/b.h");
    if (c.link == Link::directory) fs::create_directory_symlink(".", root() / "inc/alias");
    write("src/main.c", c.main);
    const std::string dir = fs::absolute(root()).generic_string();
    std::string defines;
    for (const std::string& option : c.compiler) defines += " " + option;
    write("build/compile_commands.json", "[{\"directory\": \"" + dir + "\", \"file\": \"src/main.c\", "
                                         "\"command\": \"cc -Iinc" + defines + " -c src/main.c\"}]");
    const std::string before = gccView(c.compiler);
    const auto run = runVimbo(c.vimbo);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(countOf(read("src/main.c"), "#ifndef") - countOf(c.main, "#ifndef"), c.wraps)
        << c.description << "\n" << read("src/main.c");
    EXPECT_EQ(gccView(c.compiler), before) << c.description << "\n" << read("src/main.c");
}

const std::string kA = "#ifndef A_H\n#define A_H\nint a;\n#endif\n";

// A header reached a second way after its target: the compiler opens the
// forwarder, which has no guard of its own.
INSTANTIATE_TEST_SUITE_P(
    Forwarders, DependencyLists,
    ::testing::Values(
        DependencyCase{"a forwarder after its target", {{"inc/a.h", kA}, {"inc/fwd.h", "#include <a.h>\n"}},
                       "#include <a.h>\n#include <fwd.h>\n", 1, kTreeAndHeaders, {}},
        DependencyCase{"a forwarder with pragma once after its target",
                       {{"inc/a.h", kA}, {"inc/fwd.h", "#pragma once\n#include \"a.h\"\n"}},
                       "#include <a.h>\n#include <fwd.h>\n", 1, kTreeAndHeaders, {}},
        DependencyCase{"a forwarder first, then its target", {{"inc/a.h", kA}, {"inc/fwd.h", "#include <a.h>\n"}},
                       "#include <fwd.h>\n#include <a.h>\n", 1, kTreeAndHeaders, {}},
        DependencyCase{"a forwarder outside the tree", {{"inc/a.h", kA}, {"inc/fwd.h", "#include <a.h>\n"}},
                       "#include <a.h>\n#include <fwd.h>\n", 1, kTreeOnly, {}}));

// A guard that something else can have defined before the header's first
// include: the compiler opens the header and skips only its body.
INSTANTIATE_TEST_SUITE_P(
    DefinedElsewhere, DependencyLists,
    ::testing::Values(
        DependencyCase{"the unit defines the guard first", {{"inc/a.h", kA}}, "#define A_H\n#include <a.h>\n", 0,
                       kTreeAndHeaders, {}},
        DependencyCase{"another header defines the guard",
                       {{"inc/a.h", kA}, {"inc/pre.h", "#ifndef PRE_H\n#define PRE_H\n#define A_H\n#endif\n"}},
                       "#include <pre.h>\n#include <a.h>\n", 1, kTreeAndHeaders, {}},
        DependencyCase{"the build's command line defines the guard", {{"inc/a.h", kA}}, "#include <a.h>\n", 0, kBuild,
                       {"-DA_H"}},
        DependencyCase{"the build's command line undefines the guard", {{"inc/a.h", kA}}, "#include <a.h>\n", 0,
                       kBuild, {"-UA_H"}},
        DependencyCase{"the build defines another macro", {{"inc/a.h", kA}}, "#include <a.h>\n", 1, kBuild,
                       {"-DOTHER"}},
        DependencyCase{"only the header defines its guard", {{"inc/a.h", kA}}, "#include <a.h>\n#include <a.h>\n", 2,
                       kTreeAndHeaders, {}}));

// One file under two names: the compiler records each name it opens.
INSTANTIATE_TEST_SUITE_P(
    SecondNames, DependencyLists,
    ::testing::Values(DependencyCase{"a hard link", {{"inc/a.h", kA}}, "#include <a.h>\n#include <b.h>\n", 0,
                                     kTreeOnly, {}, Link::hard},
                      DependencyCase{"a symbolic link to the file", {{"inc/a.h", kA}},
                                     "#include <a.h>\n#include <b.h>\n", 0, kTreeAndHeaders, {}, Link::symbolic},
                      DependencyCase{"a symbolic link named first", {{"inc/a.h", kA}},
                                     "#include <b.h>\n#include <a.h>\n", 0, kTreeOnly, {}, Link::symbolic},
                      DependencyCase{"a linked directory", {{"inc/a.h", kA}, {"inc/sub/s.h", "#include <a.h>\n"}},
                                     "#include <alias/a.h>\n#include <a.h>\n", 0, kTreeOnly, {}, Link::directory},
                      // The other name comes two headers deep, beside headers that reach neither.
                      DependencyCase{"a linked directory reached through a header",
                                     {{"inc/a.h", kA},
                                      {"inc/u.h", "#ifndef U_H\n#define U_H\n#include <v.h>\n#endif\n"},
                                      {"inc/v.h", "#ifndef V_H\n#define V_H\nint v;\n#endif\n"},
                                      {"inc/x.h", "#ifndef X_H\n#define X_H\n#include <y.h>\n#endif\n"},
                                      {"inc/y.h", "#ifndef Y_H\n#define Y_H\n#include <alias/a.h>\n#endif\n"}},
                                     "#include <u.h>\n#include <x.h>\n#include <a.h>\n#include <u.h>\n", 3, kTreeOnly,
                                     {}, Link::directory}));

// Two headers with one guard: the second is opened and recorded.
INSTANTIATE_TEST_SUITE_P(
    SharedGuards, DependencyLists,
    ::testing::Values(DependencyCase{"two headers of the run", {{"inc/a.h", kA}, {"inc/b.h", "#ifndef A_H\n#define A_H\nint b;\n#endif\n"}},
                                     "#include <a.h>\n#include <b.h>\n", 0, kTreeAndHeaders, {}}));

// Headers outside the run that its includes reach (-i inc, --tree src)
// are read too: what they say of a guard counts as much.
INSTANTIATE_TEST_SUITE_P(
    OutsideTheRun, DependencyLists,
    ::testing::Values(
        DependencyCase{"a header outside defines the guard",
                       {{"inc/a.h", kA}, {"inc/pre.h", "#ifndef PRE_H\n#define PRE_H\n#define A_H\n#endif\n"}},
                       "#include <pre.h>\n#include <a.h>\n", 1, kTreeOnly, {}},
        DependencyCase{"a header outside reached through another defines the guard",
                       {{"inc/a.h", kA},
                        {"inc/top.h", "#ifndef TOP_H\n#define TOP_H\n#include \"deep/pre.h\"\n#endif\n"},
                        {"inc/deep/pre.h", "#define A_H\n"}},
                       "#include <top.h>\n#include <a.h>\n", 1, kTreeOnly, {}},
        DependencyCase{"a header outside shares the guard",
                       {{"inc/a.h", kA}, {"inc/b.h", "#ifndef A_H\n#define A_H\nint b;\n#endif\n"}},
                       "#include <a.h>\n#include <b.h>\n", 0, kTreeOnly, {}},
        DependencyCase{"a header outside poisons the guard",
                       {{"inc/a.h", kA}, {"inc/p.h", "#pragma GCC poison A_H\n"}},
                       "#include <a.h>\n#include <p.h>\n", 0, kTreeOnly, {}},
        DependencyCase{"a header outside that no include reaches counts for nothing",
                       {{"inc/a.h", kA}, {"inc/unused.h", "#define A_H\n"}},
                       "#include <a.h>\n", 1, kTreeOnly, {}}));

// The run's files under two names: a file named on its own through a
// linked directory is the header an include finds under its other name.
TEST_F(DependencyLists, AFileTheRunHoldsUnderTwoNamesIsNotWrapped) {
    if (!haveGcc()) GTEST_SKIP() << "no gcc";
    write("inc/a.h", kA);
    fs::create_directory_symlink("inc", root() / "alias");
    write("src/main.c", "#include <a.h>\n#include \"../alias/a.h\"\n");
    const std::string before = gccView({});
    const auto run = runVimbo({"-i", "inc", "--tree", "src", "inc/a.h", "alias/a.h"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read("src/main.c"), "#include <a.h>\n#include \"../alias/a.h\"\n");
    EXPECT_EQ(gccView({}), before);
}

// A file of the run reached through a symbolic link in another directory:
// the compiler finds its quoted includes beside the link, so none of them
// is wrapped as found beside the file itself.
TEST_F(DependencyLists, AFileReachedThroughALinkKeepsItsQuotedIncludes) {
    if (!haveGcc()) GTEST_SKIP() << "no gcc";
    write("inc/x.h", "int inc_x;\n");
    write("real/x.h", "#ifndef RX_H\n#define RX_H\nint real_x;\n#endif\n");
    write("real/r.h", "#include \"x.h\"\n");
    fs::create_symlink("../real/r.h", root() / "inc/link.h");
    write("src/main.c", "#include \"../real/x.h\"\n#include <link.h>\n");
    const std::string before = gccView({});
    const auto run = runVimbo({"-i", "inc", "--tree", "src", "real"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read("real/r.h"), "#include \"x.h\"\n");
    EXPECT_EQ(gccView({}), before);
}

// Quoted includes through ".." that lead back make new names at every
// turn ("inc/sub/../a.h"): the index stops following them, and gcc's view
// stays.
TEST_F(DependencyLists, QuotedIncludesThatLeadBackEnd) {
    if (!haveGcc()) GTEST_SKIP() << "no gcc";
    write("inc/a.h", "#ifndef A_H\n#define A_H\n#include \"sub/b.h\"\n#endif\n");
    write("inc/sub/b.h", "#ifndef B_H\n#define B_H\n#include \"../a.h\"\n#endif\n");
    write("src/main.c", "#include <a.h>\n#include <sub/b.h>\n");
    const std::string before = gccView({});
    const auto run = runVimbo(kTreeOnly);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(gccView({}), before) << read("src/main.c");
}
}  // namespace
