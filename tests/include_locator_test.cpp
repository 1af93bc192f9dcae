// Where headers are found: the include search path, the current directory,
// absolute names; every candidate tested on a real directory tree.
#include <gtest/gtest.h>

#include "analysis/header_finder.h"
#include "rewrite/settings.h"
#include "support/temp_dir.h"

using namespace vimbo::rewrite;

namespace {

using vimbo::test::absoluteSystemPath;

// Finds headers as a run with these settings does: the library's rules along
// the settings' search path, through one header cache of the system's files.
class Locator {
public:
    explicit Locator(const Vimbo_Params& settings) { lookup_.searchPath = settings.includePath(); }
    std::string locateIncludeFile(const std::string& line) const { return finder_.locateIncludeFile(line, lookup_); }

private:
    vimbo::analysis::HeaderCache headers_{vimbo::platform::defaultFileSystemOps()};
    vimbo::analysis::HeaderFinder finder_{headers_};
    vimbo::analysis::HeaderLookup lookup_;
};

struct SearchCase {
    const char* description;
    std::vector<const char*> files;  // created empty, relative to the test directory
    const char* searchPath;
    const char* line;
    const char* expected;
};

void PrintTo(const SearchCase& c, std::ostream* out) { *out << c.description; }

class LocateIncludeFile : public vimbo::test::TempDirTest,
                          public ::testing::WithParamInterface<SearchCase> {};

TEST_P(LocateIncludeFile, FindsTheRightCandidate) {
    const SearchCase& c = GetParam();
    for (const char* file : c.files) write(file, "");
    Vimbo_Params settings;
    settings.setIncludePath(c.searchPath);
    Locator locator(settings);
    EXPECT_EQ(locator.locateIncludeFile(c.line), c.expected) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, LocateIncludeFile,
    ::testing::Values(
        SearchCase{"second entry", {"B/h.h"}, "A;B", "#include <h.h>", "B\\h.h"},
        SearchCase{"first entry wins", {"A/h.h", "B/h.h"}, "A;B", "#include <h.h>", "A\\h.h"},
        SearchCase{"trailing backslash kept single", {"A/h.h"}, "A\\", "#include <h.h>", "A\\h.h"},
        SearchCase{"slashes in entries turned", {"A/s/h.h"}, "A/s", "#include <h.h>", "A\\s\\h.h"},
        SearchCase{"entry ending in slash", {"A/h.h"}, "A/", "#include <h.h>", "A\\\\h.h"},
        SearchCase{"slashes in names turned", {"A/sys/t.h"}, "A", "#include <sys/t.h>", "A\\sys\\t.h"},
        SearchCase{".h retry", {"INC/vector.h"}, "INC", "#include <vector>", "INC\\vector.h"},
        SearchCase{"exact name before retry", {"INC/vector", "INC/vector.h"}, "INC", "#include <vector>",
                   "INC\\vector"},
        // A bare name is a macro that the preprocessor expands: never looked up.
        SearchCase{"bare name is a macro", {"INC/cfg.h", "INC/cfg"}, "INC", "#include cfg", ""},
        SearchCase{"no retry with a dot in the entry", {"x.d/vector.h"}, "x.d", "#include <vector>", ""},
        SearchCase{"no retry for quoted names", {"vector.h"}, "", "#include \"vector\"", ""},
        SearchCase{"empty first entry ends the search", {"A/h.h"}, ";A", "#include <h.h>", ""},
        SearchCase{"empty middle entry ends the search", {"A/h.h"}, "X;;A", "#include <h.h>", ""},
        SearchCase{"trailing separator opens nothing", {"A/h.h"}, "A;", "#include <h.h>", "A\\h.h"},
        SearchCase{"empty path finds no relative name", {"h.h"}, "", "#include <h.h>", ""},
        SearchCase{"current directory only when named", {"h.h"}, ".", "#include <h.h>", ".\\h.h"},
        SearchCase{"quoted in the current directory", {"util.h"}, "", "#include \"util.h\"", ".\\util.h"},
        SearchCase{"quoted never along the path", {"A/util.h"}, "A", "#include \"util.h\"", ""},
        // The compiler opens "/A/h.h" at the root, so that is the only place
        // it is looked for (here: nowhere).
        SearchCase{"quoted slash name is rooted", {"A/h.h"}, "", "#include \"/A/h.h\"", ""},
        SearchCase{"a directory counts as found", {"sub/x"}, "", "#include \"sub\"", ".\\sub"},
        SearchCase{"empty quotes test nothing", {}, "", "#include \"\"", ""},
        SearchCase{"no directive", {"h.h"}, ".", "int h;", ""},
        SearchCase{"missing everywhere", {}, "A;B", "#include <nowhere.h>", ""}));

class AbsoluteNames : public vimbo::test::TempDirTest {};

TEST_F(AbsoluteNames, AreTestedAsWrittenWithoutThePath) {
    write("abs/h.h", "");
    write("abs/only.h", "");
    const std::string dir = absoluteSystemPath(root() / "abs");
    Vimbo_Params settings;
    settings.setIncludePath("");
    Locator locator(settings);
    EXPECT_EQ(locator.locateIncludeFile("#include <" + dir + "\\h.h>"), dir + "\\h.h");
    EXPECT_EQ(locator.locateIncludeFile("#include <" + dir + "\\only>"), dir + "\\only.h");
    EXPECT_EQ(locator.locateIncludeFile("#include \"" + dir + "\\h.h\""), dir + "\\h.h");
    // Quoted names get no ".h" retry, absolute or not.
    EXPECT_EQ(locator.locateIncludeFile("#include \"" + dir + "\\only\""), "");
    EXPECT_EQ(locator.locateIncludeFile("#include <" + dir + "\\missing.h>"), "");
}

class IncludeEnvironment : public vimbo::test::TempDirTest {};

TEST_F(IncludeEnvironment, IsTheDefaultSearchPathAndReadAtConstruction) {
    write("env/a.h", "");
    {
        vimbo::test::ScopedEnv include("INCLUDE", "env");
        Vimbo_Params settings;
        Locator locator(settings);
        EXPECT_EQ(locator.locateIncludeFile("#include <a.h>"), "env\\a.h");
    }
    Vimbo_Params unset;
    Locator locator(unset);
    EXPECT_EQ(unset.includePath(), "");
    EXPECT_EQ(locator.locateIncludeFile("#include <a.h>"), "");
}

TEST_F(IncludeEnvironment, FileSystemIsAskedAgainOnEveryCall) {
    Vimbo_Params settings;
    settings.setIncludePath("inc");
    Locator locator(settings);
    EXPECT_EQ(locator.locateIncludeFile("#include <late.h>"), "");
    write("inc/late.h", "");
    EXPECT_EQ(locator.locateIncludeFile("#include <late.h>"), "inc\\late.h");
}

}  // namespace
