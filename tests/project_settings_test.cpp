// .vimbo.toml as a team writes it: the nearest file above a file applies
// whole, the command line wins over it, the whole run's settings come from
// the current directory's file, and each value says where it came from.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "project/effective_settings.h"
#include "project/project_config.h"
#include "support/temp_dir.h"

namespace {

using vimbo::engine::ProjectSettings;
using vimbo::project::EffectiveSettings;

std::string joined(const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& value : values) text += (text.empty() ? "" : ",") + value;
    return text;
}

// A setting as --print-config shows it: its value and where it came from.
struct Shown {
    std::string value;
    std::string from;
    bool operator==(const Shown& other) const { return value == other.value && from == other.from; }
};

std::ostream& operator<<(std::ostream& out, const Shown& shown) { return out << shown.value << " from " << shown.from; }

template <typename T>
Shown shownOf(const vimbo::project::Sourced<T>& sourced, const std::function<std::string(const T&)>& text) {
    return {text(sourced.value), sourced.from};
}

Shown setting(const EffectiveSettings& effective, const std::string& name, const std::string& file) {
    using List = std::vector<std::string>;
    const std::function<std::string(const List&)> list = joined;
    const std::function<std::string(const std::string&)> plain = [](const std::string& s) { return s; };
    const std::function<std::string(const bool&)> flag = [](const bool& b) { return std::string(b ? "true" : "false"); };
    const std::function<std::string(const std::uint64_t&)> number = [](const std::uint64_t& n) {
        return std::to_string(n);
    };
    if (name == "search-path") return shownOf(effective.searchPath(file), plain);
    if (name == "extensions") return shownOf(effective.extensions(file), list);
    if (name == "exclude") return shownOf(effective.exclusions(file), list);
    if (name == "pch") return shownOf(effective.precompiledHeaders(file), list);
    if (name == "compile-commands") return shownOf(effective.compileCommands(), plain);
    if (name == "compiler") return shownOf(effective.compiler(), plain);
    if (name == "keep-lines") return shownOf(effective.keepLines(), flag);
    if (name == "strict") return shownOf(effective.strict(), flag);
    if (name == "max-file-size") return shownOf(effective.maxFileSize(), number);
    ADD_FAILURE() << "no setting " << name;
    return {};
}

class ProjectSettingsTest : public vimbo::test::TempDirTest {};

TEST_F(ProjectSettingsTest, EachValueAndWhereItComesFrom) {
    // "@" stands for the temporary project's root, as an absolute path.
    struct Case {
        const char* label;
        std::map<std::string, std::string> configs;  // directory ("" the root) -> text
        ProjectSettings options;
        std::string commandLinePath;
        std::string file;
        std::string name;
        Shown expected;
    };
    ProjectSettings includeGiven;
    includeGiven.includeGiven = true;
    ProjectSettings headersOnly;
    headersOnly.extensions = {".h"};
    ProjectSettings excludeGiven;
    excludeGiven.exclusions = {"gen"};
    ProjectSettings keepAndStrict;
    keepAndStrict.keepLines = true;
    keepAndStrict.strict = true;
    ProjectSettings sizeGiven;
    sizeGiven.maxFileSize = 77;
    ProjectSettings databaseGiven;
    databaseGiven.buildDirectory = "out";
    databaseGiven.compiler = "gcc";
    const std::string top = "@/.vimbo.toml";
    const std::string src = "@/src/.vimbo.toml";
    const Case cases[] = {
        {"no configuration", {}, {}, "/usr/include", "src/a.c", "search-path", {"/usr/include", "INCLUDE"}},
        {"no configuration", {}, {}, "", "src/a.c", "extensions",
         {".c,.cc,.cpp,.cxx,.h,.hh,.hpp,.hxx,.inl,.ipp,.tcc,.tpp", "default"}},
        {"no configuration", {}, {}, "", "src/a.c", "max-file-size", {"67108864", "default"}},
        {"no configuration", {}, {}, "", "src/a.c", "keep-lines", {"false", "default"}},
        {"root only", {{"", "search-path = [\"include\", \"third_party/include\"]\n"}}, {}, "", "src/deep/a.c",
         "search-path", {"@/include;@/third_party/include", top}},
        {"one string is a list of one", {{"", "search-path = \"include\"\n"}}, {}, "", "a.c", "search-path",
         {"@/include", top}},
        {"command line wins", {{"", "search-path = [\"include\"]\n"}}, includeGiven, "cli", "src/a.c", "search-path",
         {"cli", "command line"}},
        // The nearest file applies whole: what it leaves out is not taken from the one above.
        {"nested", {{"", "search-path = [\"include\"]\n"}, {"src", "extensions = [\".c\"]\n"}}, {}, "env", "src/a.c",
         "search-path", {"env", "INCLUDE"}},
        {"nested", {{"", "search-path = [\"include\"]\n"}, {"src", "extensions = [\".c\"]\n"}}, {}, "", "src/x/a.c",
         "extensions", {".c", src}},
        {"nested", {{"", "search-path = [\"include\"]\n"}, {"src", "extensions = [\".c\"]\n"}}, {}, "", "lib/a.c",
         "search-path", {"@/include", top}},
        {"nested search path from its own directory", {{"src", "search-path = [\"../include\", \"x\"]\n"}}, {}, "",
         "src/a.c", "search-path", {"@/include;@/src/x", src}},
        {"extensions without a dot", {{"", "extensions = [\"cpp\", \".H\"]\n"}}, {}, "", "a.c", "extensions",
         {".cpp,.H", top}},
        {"extensions from the command line", {{"", "extensions = [\".c\"]\n"}}, headersOnly, "", "a.c", "extensions",
         {".h", "command line"}},
        {"exclude", {{"", "exclude = [\"third_party\", \"*.pb.h\"]\n"}}, {}, "", "src/a.c", "exclude",
         {"third_party,*.pb.h", top}},
        {"exclude from the command line", {{"", "exclude = [\"third_party\"]\n"}}, excludeGiven, "", "src/a.c",
         "exclude", {"gen", "command line"}},
        {"pch", {{"", "pch = [\"pre.h\"]\n"}}, {}, "", "src/a.c", "pch", {"pre.h", top}},
        {"keep-lines", {{"", "keep-lines = true\n"}}, {}, "", "src/a.c", "keep-lines", {"true", top}},
        {"keep-lines false", {{"", "keep-lines = false\n"}}, {}, "", "src/a.c", "keep-lines", {"false", top}},
        // The whole run's settings are the current directory's file's, whatever file is asked about.
        {"keep-lines below", {{"src", "keep-lines = true\n"}}, {}, "", "src/a.c", "keep-lines", {"false", "default"}},
        {"keep-lines given", {{"", "keep-lines = false\n"}}, keepAndStrict, "", "a.c", "keep-lines",
         {"true", "command line"}},
        {"strict", {{"", "strict = true\n"}}, {}, "", "src/a.c", "strict", {"true", top}},
        {"strict given", {{"", "strict = false\n"}}, keepAndStrict, "", "a.c", "strict", {"true", "command line"}},
        {"max-file-size with a unit", {{"", "max-file-size = \"1K\"\n"}}, {}, "", "a.c", "max-file-size",
         {"1024", top}},
        {"max-file-size in bytes", {{"", "max-file-size = 5000\n"}}, {}, "", "a.c", "max-file-size", {"5000", top}},
        {"max-file-size given", {{"", "max-file-size = \"2M\"\n"}}, sizeGiven, "", "a.c", "max-file-size",
         {"77", "command line"}},
        {"compile-commands", {{"", "compile-commands = \"build\"\n"}}, {}, "", "a.c", "compile-commands",
         {"@/build", top}},
        {"compile-commands given", {{"", "compile-commands = \"build\"\n"}}, databaseGiven, "", "a.c",
         "compile-commands", {"out", "command line"}},
        {"compiler", {{"", "compiler = \"clang\"\n"}}, {}, "", "a.c", "compiler", {"clang", top}},
        {"compiler given", {{"", "compiler = \"clang\"\n"}}, databaseGiven, "", "a.c", "compiler",
         {"gcc", "command line"}},
    };
    const std::string at = root().generic_string();
    const auto placed = [&](std::string text) {
        for (std::string::size_type i = text.find('@'); i != std::string::npos; i = text.find('@', i + at.size()))
            text.replace(i, 1, at);
        return text;
    };
    for (const Case& c : cases) {
        vimbo::test::fs::remove_all(root() / ".vimbo.toml");
        vimbo::test::fs::remove_all(root() / "src");
        for (const auto& [directory, text] : c.configs)
            write(directory.empty() ? ".vimbo.toml" : directory + "/.vimbo.toml", text);
        vimbo::project::ProjectConfigs configs;
        const EffectiveSettings effective(c.options, configs, c.commandLinePath);
        const Shown expected{placed(c.expected.value), placed(c.expected.from)};
        EXPECT_EQ(setting(effective, c.name, c.file), expected) << c.label << ": " << c.name;
        EXPECT_EQ(configs.errors(), std::vector<std::string>{}) << c.label;
    }
}

// Exclusions: a configuration's patterns are read from its own directory;
// the command line's from the root walked.
TEST_F(ProjectSettingsTest, ExclusionsAreReadFromWhereTheyWereWritten) {
    struct Case {
        std::map<std::string, std::string> configs;
        std::vector<std::string> given;
        std::string path, relative;
        bool excluded;
    };
    const Case cases[] = {
        {{{"", "exclude = [\"gen\"]\n"}}, {}, "src/gen/a.c", "gen/a.c", true},
        {{{"", "exclude = [\"*.pb.h\"]\n"}}, {}, "src/m.pb.h", "m.pb.h", true},
        {{{"", "exclude = [\"*.pb.h\"]\n"}}, {}, "src/m.h", "m.h", false},
        {{{"", "exclude = [\"src/gen\"]\n"}}, {}, "src/gen/a.c", "gen/a.c", true},
        {{{"", "exclude = [\"src/gen\"]\n"}}, {}, "lib/src/gen/a.c", "src/gen/a.c", false},
        {{{"src", "exclude = [\"gen\"]\n"}}, {}, "src/gen/a.c", "gen/a.c", true},
        {{{"src", "exclude = [\"src/gen\"]\n"}}, {}, "src/gen/a.c", "gen/a.c", false},
        {{{"src", "exclude = [\"**/t/*.c\"]\n"}}, {}, "src/x/t/a.c", "x/t/a.c", true},
        // The nearest file applies whole: the root's exclusions stop below another file.
        {{{"", "exclude = [\"gen\"]\n"}, {"src", "strict = true\n"}}, {}, "src/gen/a.c", "gen/a.c", false},
        {{{"", "exclude = [\"gen\"]\n"}}, {"other"}, "src/gen/a.c", "gen/a.c", false},
        {{}, {"src/gen"}, "src/gen/a.c", "src/gen/a.c", true},
        {{}, {"src/gen"}, "src/gen/a.c", "gen/a.c", false},
        // As a .gitignore reads them: "dir/" directories only, "/x" from here, "!" takes back.
        {{{"", "exclude = [\"legacy/\"]\n"}}, {}, "src/legacy/a.c", "legacy/a.c", true},
        {{{"", "exclude = [\"legacy/\"]\n"}}, {}, "src/legacy", "legacy", false},
        {{{"", "exclude = [\"/legacy\"]\n"}}, {}, "legacy/a.c", "legacy/a.c", true},
        {{{"", "exclude = [\"/legacy\"]\n"}}, {}, "src/legacy/a.c", "legacy/a.c", false},
        {{{"", "exclude = [\"legacy\", \"!legacy/keep.c\"]\n"}}, {}, "legacy/keep.c", "legacy/keep.c", false},
        {{{"", "exclude = [\"legacy\", \"!legacy/keep.c\"]\n"}}, {}, "legacy/other.c", "legacy/other.c", true},
        {{{"", "exclude = [\"**/gen/\"]\n"}}, {}, "a/b/gen/x.c", "a/b/gen/x.c", true},
        {{}, {"legacy/", "!*.h"}, "legacy/a.h", "legacy/a.h", false},
        // inherit = true: the root's exclusions go on below, read from the root.
        {{{"", "exclude = [\"src/gen\"]\n"}, {"src", "inherit = true\nstrict = true\n"}}, {}, "src/gen/a.c", "gen/a.c",
         true},
    };
    for (const Case& c : cases) {
        vimbo::test::fs::remove_all(root() / ".vimbo.toml");
        vimbo::test::fs::remove_all(root() / "src");
        for (const auto& [directory, text] : c.configs)
            write(directory.empty() ? ".vimbo.toml" : directory + "/.vimbo.toml", text);
        vimbo::project::ProjectConfigs configs;
        ProjectSettings options;
        options.exclusions = c.given;
        const EffectiveSettings effective(options, configs, "");
        EXPECT_EQ(effective.excluded(c.path, c.relative), c.excluded)
            << c.path << " (" << c.relative << ") with " << (c.configs.empty() ? "" : c.configs.begin()->second)
            << joined(c.given);
    }
}

// A nested file over its parent: with inherit, key by key; without, a
// warning where it leaves its files no search path.
TEST_F(ProjectSettingsTest, NestedFilesInheritOrWarn) {
    const struct {
        const char* nested;
        const char* searchPath;  // that src/a.c gets, relative to the root
        bool warned;
        const char* from;  // the file the search path is told to come from
    } cases[] = {
        {"exclude = [\"x\"]\n", "", true, "INCLUDE"},
        {"inherit = true\nexclude = [\"x\"]\n", "inc", false, ".vimbo.toml"},
        {"inherit = true\nsearch-path = [\"own\"]\n", "src/own", false, "src/.vimbo.toml"},
        {"search-path = []\n", "", false, "src/.vimbo.toml"},
    };
    for (const auto& c : cases) {
        write(".vimbo.toml", "search-path = [\"inc\"]\nstrict = true\n");
        write("src/.vimbo.toml", c.nested);
        vimbo::project::ProjectConfigs configs;
        const EffectiveSettings effective({}, configs, "");
        const std::string expected = *c.searchPath ? (root() / c.searchPath).lexically_normal().generic_string() : "";
        EXPECT_EQ(effective.searchPath("src/a.c").value, expected) << c.nested;
        const std::string from = effective.searchPath("src/a.c").from;
        EXPECT_EQ(from, *c.from == 'I' ? c.from : (root() / c.from).lexically_normal().generic_string()) << c.nested;
        EXPECT_EQ(configs.warnings().size(), c.warned ? 1u : 0u) << c.nested;
        EXPECT_EQ(configs.errors(), std::vector<std::string>{}) << c.nested;
    }
}

// A configuration that can't be used is an error that names its file and
// line; the run stops on it (exit 2), so each is told whole.
TEST_F(ProjectSettingsTest, ErrorsNameTheFileAndLine) {
    const std::string known =
        " (known: search-path, compile-commands, compiler, extensions, exclude, pch, keep-lines, strict, max-file-size, inherit)";
    struct Case {
        std::string text;
        std::string error;  // after "FILE:"; a syntax error's words are the TOML reader's, only its line is checked
        bool whole;
    };
    const Case cases[] = {
        {"search-path = [\n", "1:", false},
        {"strict = true\nsearch-path = [\"a\",\n", "2:", false},
        {"strict = true\ncolour = 1\n", "2:1: error: unknown key 'colour'" + known, true},
        {"keep-lines = \"yes\"\n", "1:1: error: keep-lines takes true or false", true},
        {"strict = 1\n", "1:1: error: strict takes true or false", true},
        {"max-file-size = \"lots\"\n", "1:1: error: max-file-size takes a size: bytes, or a string such as \"64M\" (K, M or G)",
         true},
        {"max-file-size = 0\n", "1:1: error: max-file-size takes a size: bytes, or a string such as \"64M\" (K, M or G)", true},
        {"search-path = [1, 2]\n", "1:1: error: search-path takes a list of strings", true},
        {"extensions = true\n", "1:1: error: extensions takes a list of strings", true},
        {"compile-commands = \"\"\n", "1:1: error: compile-commands takes a directory", true},
        {"compiler = 3\n", "1:1: error: compiler takes a program (\"gcc\", \"/usr/bin/clang\")", true},
    };
    const std::string file = (root() / ".vimbo.toml").generic_string();
    for (const Case& c : cases) {
        write(".vimbo.toml", c.text);
        vimbo::project::ProjectConfigs configs;
        const EffectiveSettings effective({}, configs, "");
        effective.searchPath("src/a.c");
        effective.strict();
        const std::vector<std::string> errors = configs.errors();
        ASSERT_EQ(errors.size(), 1u) << c.text;
        if (c.whole) {
            EXPECT_EQ(errors[0], file + ":" + c.error) << c.text;
        } else {
            EXPECT_EQ(errors[0].rfind(file + ":" + c.error, 0), 0u) << errors[0];
            EXPECT_NE(errors[0].find(": error: ", (file + ":" + c.error).size()), std::string::npos) << errors[0];
            EXPECT_GT(errors[0].size(), (file + ":" + c.error).size()) << "the reader says what is wrong";
        }
    }
}

}  // namespace
