// What a team's CI and hooks rely on: a configuration found upward, marks
// in the source, reports for tools, changed files from git, a build's own
// list of sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "support/command_run.h"
#include "support/temp_dir.h"
#include "support/written_text.h"

namespace {

using vimbo::test::asWritten;
using vimbo::test::runVimbo;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string kHeader = "#ifndef A_H\n#define A_H\n#endif\n";
const std::string kSource = "#include <a.h>\n";
const std::string kWrapped = asWritten("#ifndef A_H\n#include <a.h>\n#endif\n");

class TeamWorkflow : public vimbo::test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        write("proj/inc/a.h", kHeader);
        for (const char* name : {"proj/src/m.c", "proj/src/gen/g.c", "proj/other.c"}) write(name, kSource);
    }
};

// Each case: a configuration, the command, and what it must leave.
TEST_F(TeamWorkflow, ConfigurationFoundUpwardAndCommandLineWins) {
    const struct {
        const char* config;
        Strings arguments;
        int status;
        Strings wrapped;  // the sources that get guards; the others stay
        const char* message;
    } cases[] = {
        {"search-path = [\"inc\"]\n", {"--tree", "proj"}, 0, {"proj/src/m.c", "proj/src/gen/g.c", "proj/other.c"}, ""},
        {"search-path = \"inc\"\nexclude = [\"gen\"]\n", {"--tree", "proj"}, 0, {"proj/src/m.c", "proj/other.c"}, ""},
        // Exclusions hold for files named too: a pre-commit hook names them.
        {"search-path = [\"inc\"]\nexclude = [\"src/gen/*.c\"]\n", {"--tree", "proj/src/gen/g.c", "proj/other.c"}, 0,
         {"proj/other.c"}, ""},
        {"search-path = [\"inc\"]\n", {"-i", "proj/src", "--tree", "proj"}, 0, {}, ""},
        {"search-path = [\"inc\"]\nexclude = [\"gen\"]\n", {"--exclude", "other.c", "--tree", "proj"}, 0,
         {"proj/src/m.c", "proj/src/gen/g.c"}, ""},
        {"search-path = [\"inc\"]\nextensions = [\"txt\"]\n", {"--tree", "proj"}, 0, {}, ""},
        {"serch-path = [\"inc\"]\n", {"--tree", "proj"}, 2, {}, ".vimbo.toml:1:1: error: unknown key 'serch-path'"},
        {"strict = \"yes\"\n", {"--check", "proj/other.c"}, 2, {}, "strict takes true or false"},
        {"search-path = [\"inc\"\n", {"--tree", "proj"}, 2, {}, ".vimbo.toml:"},
    };
    for (const auto& c : cases) {
        for (const char* name : {"proj/src/m.c", "proj/src/gen/g.c", "proj/other.c"}) write(name, kSource);
        write("proj/.vimbo.toml", c.config);
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.config << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
        for (const char* name : {"proj/src/m.c", "proj/src/gen/g.c", "proj/other.c"}) {
            const bool wanted = std::find(c.wrapped.begin(), c.wrapped.end(), name) != c.wrapped.end();
            EXPECT_EQ(read(name), wanted ? kWrapped : kSource) << c.config << name;
        }
    }
    // Two configurations that find <a.h> as different headers: a file may
    // be compiled with either, so neither guard is taken.
    write("proj/.vimbo.toml", "search-path = [\"inc\"]\n");
    write("proj/sub/.vimbo.toml", "search-path = [\"inc2\"]\n");
    write("proj/sub/inc2/a.h", "#ifndef OTHER_A_H\n#define OTHER_A_H\n#endif\n");
    write("proj/sub/s.c", kSource);
    write("proj/other.c", kSource);
    EXPECT_EQ(runVimbo({"--tree", "proj/other.c", "proj/sub/s.c"}).status, 0);
    EXPECT_EQ(read("proj/other.c"), kSource);
    EXPECT_EQ(read("proj/sub/s.c"), kSource);
    fs::remove_all(root() / "proj/sub");
    // A link named to a tree run is left alone, as one met on the walk.
    std::error_code linked;
    fs::create_symlink("other.c", root() / "proj/link.c", linked);
    if (!linked) {
        const auto o = runVimbo({"--tree", "proj/link.c"});
        EXPECT_NE(o.err.find("proj/link.c: skipped (a symbolic link"), std::string::npos) << o.err;
        EXPECT_TRUE(fs::is_symlink(root() / "proj/link.c"));
        fs::remove(root() / "proj/link.c");
    }

    write("proj/.vimbo.toml", "search-path = [\"inc\"]\npch = [\"x.h\"]\n");
    const auto shown = runVimbo({"--ext", ".c", "--print-config", "proj/src/m.c"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    for (const char* line : {"search-path = [\"proj/inc\"]  # ", "/proj/.vimbo.toml\n", "pch = [\"x.h\"]  # ",
                             "extensions = [\".c\"]  # command line\n", "keep-lines = false  # default\n"})
        EXPECT_NE(shown.out.find(line), std::string::npos) << line << "\n" << shown.out;
    // What it prints reads back as a configuration that gives the same settings.
    write("printed.toml", shown.out);
    const auto again = runVimbo({"--config", "printed.toml", "--print-config", "-i", "proj/inc", "proj/src/m.c"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("pch = [\"x.h\"]  # " + (root() / "printed.toml").generic_string()), std::string::npos)
        << again.out;
}

// Marks in the source, for every batch mode: the include lines left alone.
TEST_F(TeamWorkflow, MarksLeaveIncludeLinesAlone) {
    write("inc/a.h", kHeader);
    write("inc/b.h", "#ifndef B_H\n#define B_H\n#endif\n");
    write("inc/c.h", "#ifndef NEW_C_H\n#define NEW_C_H\n#endif\n");
    const struct {
        const char* text;
        Strings checked;       // --check --verbose lines
        const char* unclosed;  // where the warning puts an "off" without "on" ("": none)
    } cases[] = {
        {"#include <a.h> // vimbo: keep\n#include <b.h>\n", {"m.c:2:1: warning: #include <b.h> can be wrapped in B_H [missing-external-guard]"}, ""},
        {"// vimbo: off\n#include <a.h>\n/* vimbo: on */\n#include <b.h>\n",
         {"m.c:4:1: warning: #include <b.h> can be wrapped in B_H [missing-external-guard]"}, ""},
        {"#include <a.h> /*vimbo:keep*/\n#include <b.h> // vimbo: off\n", {}, "m.c:2:16:"},
        // Marks are read in comments only, never in literals.
        {"const char* s = \"// vimbo: off\";\n#include <a.h>\n",
         {"m.c:2:1: warning: #include <a.h> can be wrapped in A_H [missing-external-guard]"}, ""},
        {"char q = '\"'; // vimbo: off\n#include <a.h>\n", {}, "m.c:1:15:"},
        {"#include <a.h> // vimbo: keeper\n", {"m.c:1:1: warning: #include <a.h> // vimbo: keeper can be wrapped in A_H [missing-external-guard]"}, ""},
        {"// vimbo: keep-next-line\n#include <a.h>\n#include <b.h>\n",
         {"m.c:3:1: warning: #include <b.h> can be wrapped in B_H [missing-external-guard]"}, ""},
        // The "on" comes after the last include line.
        {"// vimbo: off\n#include <a.h>\nint x;\n// vimbo: on\n", {}, ""},
    };
    for (const auto& c : cases) {
        write("m.c", c.text);
        const auto o = runVimbo({"-i", "inc", "--check", "--verbose", "m.c"});
        std::string expected;
        for (const std::string& line : c.checked) expected += line + "\n";
        EXPECT_EQ(o.out, expected) << c.text;
        EXPECT_EQ(o.status, c.checked.empty() ? 0 : 1) << c.text << o.err;
        const std::size_t warned = o.err.find(": warning: \"vimbo: off\" with no \"vimbo: on\" after it");
        if (*c.unclosed) {
            EXPECT_NE(o.err.find(std::string(c.unclosed) + " warning: \"vimbo: off\""), std::string::npos) << c.text << o.err;
            EXPECT_NE(o.err.find("[unclosed-off]"), std::string::npos) << o.err;
        } else {
            EXPECT_EQ(warned, std::string::npos) << c.text << o.err;
        }
    }
    // Strip and audit keep a marked wrapper.
    write("m.c", "#ifndef C_H\n#include <c.h> // vimbo: keep\n#endif\n#ifndef C_H\n#include <c.h>\n#endif\n");
    const auto audit = runVimbo({"-i", "inc", "--audit", "m.c"});
    EXPECT_EQ(audit.out, "m.c:5:1: warning: #include <c.h> is wrapped in C_H, but c.h is guarded by NEW_C_H [wrong-external-guard]\n") << audit.err;
    EXPECT_EQ(runVimbo({"-i", "inc", "--strip-wrong", "m.c"}).status, 0);
    EXPECT_EQ(read("m.c"), asWritten("#ifndef C_H\n#include <c.h> // vimbo: keep\n#endif\n#include <c.h>\n"));
}

// An editor's buffer on standard input, as the file it stands for: the new
// text on standard output, nothing on disk written.
TEST_F(TeamWorkflow, StandardInputAsTheFileItStandsFor) {
    write("proj/.vimbo.toml", "search-path = [\"inc\"]\nexclude = [\"other.c\"]\n");
    write("proj/src/loc.h", "#ifndef LOC_H\n#define LOC_H\n#endif\n");
    const std::string buffer = "#include <a.h>\n#include \"loc.h\"\nint y;\n";
    const struct {
        Strings arguments;
        std::string input;
        int status;
        std::string out;  // "" with status 2: nothing, for the editor to keep its text
    } cases[] = {
        // Its directory for quoted names, its configuration for the search path.
        {{"--assume-filename", "proj/src/m.c", "-"}, buffer, 0,
         // The buffer's own line ends come back, on Windows too.
         "#ifndef A_H\n#include <a.h>\n#endif\n#ifndef LOC_H\n#include \"loc.h\"\n#endif\nint y;\n"},
        {{"--assume-filename=proj/src/m.c", "-"}, "int z;\n", 0, "int z;\n"},
        {{"--check", "--assume-filename", "proj/src/m.c", "-"}, kSource, 2, ""},  // the text is all it shows
        {{"--assume-filename", "proj/other.c", "-"}, kSource, 0, kSource},  // excluded: as it is
        {{"-"}, kSource, 2, ""},
        {{"--assume-filename", "proj/src/none.c", "-"}, kSource, 2, ""},
        {{"--assume-filename", "proj/src/m.c", "-", "proj/other.c"}, kSource, 2, ""},
        {{"--tree", "--assume-filename", "proj/src/m.c", "-"}, kSource, 2, ""},
    };
    for (const auto& c : cases) {
        const auto o = runVimbo(c.arguments, c.input);
        EXPECT_EQ(o.status, c.status) << c.arguments.back() << o.err;
        EXPECT_EQ(o.out, c.out) << c.arguments.back();
    }
    EXPECT_EQ(read("proj/src/m.c"), kSource) << "the file itself is never written";
}

TEST_F(TeamWorkflow, ReportsForToolsAndPeople) {
    write("m.c", "int x;\n  #include <a.h>\n");
    const auto json = runVimbo({"-i", "proj/inc", "--check", "--format", "json", "m.c"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "[\n  {\n    \"file\": \"m.c\",\n    \"line\": 2,\n    \"column\": 3,\n    \"include\": "
                        "\"#include <a.h>\",\n    \"macro\": \"A_H\",\n    \"reason\": \"would be wrapped\"\n  }\n]\n");
    const auto none = runVimbo({"-i", "proj/inc", "--audit", "--format", "json", "m.c"});
    EXPECT_EQ(none.out, "[]\n") << "nothing found is still a document";
    write("proj/inc/c.h", "#ifndef NEW_C_H\n#define NEW_C_H\n#endif\n");
    write("my file.c", "#ifndef C_H\n#include <c.h>\n#endif\n");
    const auto sarif = runVimbo({"-i", "proj/inc", "--audit", "--format", "sarif", "my file.c"});
    EXPECT_EQ(sarif.status, 1);
    for (const char* part : {"\"version\": \"2.1.0\"", "\"ruleId\": \"wrong-external-guard\"", "\"uri\": \"my%20file.c\"",
                             "\"startLine\": 2", "\"startColumn\": 1", "\"name\": \"vimbo\""})
        EXPECT_NE(sarif.out.find(part), std::string::npos) << part << "\n" << sarif.out;
    EXPECT_NE(runVimbo({"-i", "proj/inc", "--diff", "--color=always", "m.c"}).out.find("\x1b[32m+#ifndef A_H"),
              std::string::npos);
    EXPECT_EQ(runVimbo({"-i", "proj/inc", "--diff", "--color=never", "m.c"}).out.find('\x1b'), std::string::npos);
    EXPECT_EQ(runVimbo({"--check", "--format", "xml", "m.c"}).status, 2);
    EXPECT_EQ(runVimbo({"--diff", "--format", "json", "m.c"}).status, 2);
}

TEST_F(TeamWorkflow, ChangedFilesFromGit) {
    if (!vimbo::test::gitAvailable()) GTEST_SKIP() << "no git";
    write("proj/.vimbo.toml", "search-path = [\"inc\"]\n");
    write("proj/gone.c", kSource);
    write("proj/USAGE.md", "#include <a.h>\n");
    ASSERT_EQ(std::system("cd proj && git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm t"),
              0);
    write("proj/other.c", kSource + "\n");
    write("proj/USAGE.md", kSource + "\n");
    write("proj/src/NEW.CPP", kSource);
    ASSERT_EQ(std::system("cd proj && git rm -q gone.c && git add src/NEW.CPP"), 0);
    const struct {
        Strings arguments;
        int status;
        std::string out;
    } cases[] = {
        {{"--check", "--since", "HEAD"}, 1, "other.c\nsrc/NEW.CPP\n"},
        {{"--check", "--staged"}, 1, "src/NEW.CPP\n"},
        {{"--check", "--since", "HEAD", "src"}, 1, "src/NEW.CPP\n"},
        {{"--check", "--since", "HEAD", "../proj/src"}, 1, "src/NEW.CPP\n"},
        {{"--check", "--since", "HEAD", "../proj/inc"}, 0, ""},  // no change under it
        {{"--check", "other.c", "./other.c"}, 1, "other.c\n"},    // one file, named twice
        {{"--check", "--since", "HEAD", "USAGE.md"}, 1, "USAGE.md\n"},
        {{"--check", "--since", "no-such-revision"}, 2, ""},
    };
    fs::current_path(root() / "proj");
    for (const auto& c : cases) {
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.out, c.out) << o.err;
    }
    const auto listed = runVimbo({"--check", "--files-from", "-"}, "gone.c\nother.c\n");
    EXPECT_EQ(listed.status, 1) << listed.err;
    EXPECT_NE(listed.err.find("vimbo: note: gone.c: no such file (deleted?); skipped\n"), std::string::npos) << listed.err;
    const auto nothing = runVimbo({"--check", "--since", "HEAD", "inc"});
    EXPECT_EQ(nothing.status, 0) << nothing.err;
    EXPECT_NE(nothing.err.find("no C or C++ file changed since HEAD"), std::string::npos);
    // Staged unwrapped, wrapped since in the work tree (and the reverse): the
    // check judges the commit's text, and a rewrite, which can't, refuses.
    const std::string wrapped = "#ifndef A_H\n" + kSource + "#endif\n";
    write("proj/src/NEW.CPP", wrapped);
    const struct {
        Strings arguments;
        int status;
        std::string out;
        std::string err;
    } againstIndex[] = {
        {{"--check", "--staged"}, 1, "src/NEW.CPP\n", ""},
        {{"--diff", "--staged"}, 1, "+#ifndef A_H\n", ""},
        {{"--tree", "--staged", "--lines-since", "HEAD"}, 2, "", "src/NEW.CPP: --staged: changed since it was staged"},
    };
    for (const auto& c : againstIndex) {
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.arguments[0] << o.err;
        EXPECT_NE(o.out.find(c.out), std::string::npos) << c.arguments[0] << o.out;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << c.arguments[0] << o.err;
    }
    EXPECT_EQ(read("proj/src/NEW.CPP"), wrapped) << "the work tree's text is never the one rewritten";
    ASSERT_EQ(std::system("git add src/NEW.CPP"), 0);
    write("proj/src/NEW.CPP", kSource);
    EXPECT_EQ(runVimbo({"--check", "--staged"}).status, 0) << "the staged text is wrapped";
    fs::remove(root() / "proj/src/NEW.CPP");
    const auto deleted = runVimbo({"--check", "--staged"});
    EXPECT_EQ(deleted.status, 2) << deleted.err;
    EXPECT_NE(deleted.err.find("src/NEW.CPP: --staged: deleted since it was staged"), std::string::npos) << deleted.err;
    fs::current_path(root());
}

// --staged judges what the commit will hold, wherever the work tree has
// changed since the staging: the file, its headers (changed, deleted, become
// a link; reached through a linked directory), not a file of `git add -N`;
// what it can't judge (the configuration, --verify, conflicts) is refused.
TEST_F(TeamWorkflow, StagedTextIsJudged) {
    if (!vimbo::test::gitAvailable()) GTEST_SKIP() << "no git";
    write("proj/inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("proj/.vimbo.toml", "search-path = [\"include\"]\n");
    write("proj/src/m.c", "#include <a.h>\nint x;\n");
    write("proj/README.md", "read me\n");
    fs::create_directory_symlink("inc", root() / "proj/include");
    ASSERT_EQ(std::system("cd proj && git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm t"),
              0);
    write("proj/src/m.c", "#include <a.h>\nint x;\n//\n");
    fs::current_path(root() / "proj");
    ASSERT_EQ(std::system("git add src/m.c"), 0);
    const std::string bHeader = "printf '#ifndef B_H\\n#define B_H\\n#endif\\n' > inc/b.h";
    const struct {
        std::string change, undo;
        Strings arguments;
        int status;
        std::string err;
    } cases[] = {
        {"true", "true", {"--check", "--staged"}, 1, ""},
        {"printf '#ifndef A_H\\n#include <a.h>\\n#endif\\n' > src/m.c", "git restore src/m.c", {"--check", "--staged"}, 1, ""},
        {"echo 'int a;' > inc/a.h", "git restore inc/a.h", {"--check", "--staged"}, 1, ""},
        {"rm inc/a.h", "git restore inc/a.h", {"--check", "--staged"}, 1, ""},
        {"rm inc/a.h && echo 'int o;' > inc/o.h && ln -s o.h inc/a.h", "rm inc/a.h inc/o.h && git restore inc/a.h",
         {"--check", "--staged"}, 1, ""},
        {"echo more >> README.md && git add README.md && rm README.md", "git reset -q -- README.md && git restore README.md",
         {"--check", "--staged"}, 1, ""},
        // Not in the commit: read from the disk as an untracked header is.
        {bHeader + " && echo '#include <b.h>' > src/n.c && git add src/n.c && git add -N inc/b.h",
         "git rm -q -f --cached src/n.c inc/b.h && rm src/n.c inc/b.h", {"--check", "--staged", "--verbose"}, 1,
         "src/n.c:1:1: warning: #include <b.h> can be wrapped in B_H"},
        {"echo 'search-path = []' > .vimbo.toml", "git restore .vimbo.toml", {"--check", "--staged"}, 2,
         ".vimbo.toml: --staged: changed since it was staged, and the configuration is read from the work tree"},
        {"echo 'int a;' > inc/a.h", "git restore inc/a.h", {"--check", "--staged", "--verify", "-p", "build"}, 2,
         "inc/a.h: --staged: changed since it was staged, and a rewrite or --verify reads the work tree"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(std::system(c.change.c_str()), 0) << c.change;
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << c.change << "\n" << o.err;
        EXPECT_NE((o.out + o.err).find(c.err), std::string::npos) << c.change << "\n" << o.err;
        ASSERT_EQ(std::system(c.undo.c_str()), 0) << c.undo;
    }
    // A patch of the staged text applies to the index, line ends and all.
    write("proj/.gitattributes", "*.c text eol=crlf\n");
    write("proj/src/m.c", "#include <a.h>\r\nint y;\r\n");
    ASSERT_EQ(std::system("git add .gitattributes src/m.c 2>/dev/null"), 0);
    const auto patch = runVimbo({"--diff", "--staged", "src"});
    EXPECT_EQ(patch.status, 1) << patch.err;
    write("p.diff", patch.out);
    EXPECT_EQ(std::system("git apply --cached --check ../p.diff"), 0) << patch.out;
    fs::current_path(root());
}

// --lines-since: only the include lines on lines added or changed since the
// revision (in the work tree, or with --staged in the index).
TEST_F(TeamWorkflow, ChangedLinesOnly) {
    if (!vimbo::test::gitAvailable()) GTEST_SKIP() << "no git";
    for (const char* name : {"b", "c", "d"}) {
        const std::string macro = std::string(1, static_cast<char>(std::toupper(name[0]))) + "_H";
        write(std::string("proj/inc/") + name + ".h", "#ifndef " + macro + "\n#define " + macro + "\n#endif\n");
    }
    write("proj/.vimbo.toml", "search-path = [\"inc\"]\n");
    write("proj/m.c", "#include <a.h>\nint x;\n#include <d.h>\n");
    ASSERT_EQ(std::system("cd proj && git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm t"),
              0);
    write("proj/m.c", "#include <a.h>\n#include <c.h>\nint y;\n#include <b.h>\n");  // lines 2 to 4 new
    write("proj/n.c", "#include <d.h>\n");  // a new file is all new lines
    ASSERT_EQ(std::system("cd proj && git add n.c"), 0);
    const auto reported = [](const char* file, int line, const char* header) {
        return std::string(file) + ":" + std::to_string(line) + ":1: warning: #include <" + header +
               ".h> can be wrapped in " + static_cast<char>(std::toupper(header[0])) + "_H [missing-external-guard]\n";
    };
    const struct {
        Strings arguments;
        int status;
        std::string out;
    } cases[] = {
        {{"--check", "--verbose", "--lines-since", "HEAD", "m.c"}, 1, reported("m.c", 2, "c") + reported("m.c", 4, "b")},
        {{"--check", "--verbose", "--lines-since=HEAD", "n.c"}, 1, reported("n.c", 1, "d")},
        {{"--check", "--verbose", "--lines-since", "HEAD", "--staged"}, 1, reported("n.c", 1, "d")},
        {{"--audit", "--lines-since", "HEAD"}, 2, ""},
        {{"--check", "--lines-since", "HEAD~1..HEAD"}, 2, ""},  // a range numbers other text than the work tree's
    };
    fs::current_path(root() / "proj");
    for (const auto& c : cases) {
        const auto o = runVimbo(c.arguments);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.out, c.out) << o.err;
    }
    EXPECT_EQ(runVimbo({"--tree", "--lines-since", "HEAD", "m.c"}).status, 0);
    EXPECT_EQ(read("proj/m.c"),
              asWritten("#include <a.h>\n#ifndef C_H\n#include <c.h>\n#endif\nint y;\n#ifndef B_H\n#include <b.h>\n#endif\n"))
        << "a.h, on a line of the commit, stays as it was";
    fs::current_path(root());
}

// "-p build" alone: the build's sources and the project headers they
// include, not the system's.
TEST_F(TeamWorkflow, WholeBuildFromItsDatabase) {
    // The build's compiler says where its units look.
    if (!vimbo::test::compilerAvailable()) GTEST_SKIP() << "no C compiler";
    // A guard of its own: one shared with a.h would keep both unwrapped.
    write("system/s.h", "#ifndef S_H\n#define S_H\n#endif\n");
    write("proj/src/m.c", "#include \"local.h\"\n#include <s.h>\n# include \"spaced.h\"\n");
    write("proj/src/local.h", "#ifndef LOCAL_H\n#define LOCAL_H\n#include <a.h>\n#endif\n");
    write("proj/src/spaced.h", "#ifndef SPACED_H\n#define SPACED_H\n#include <a.h>\n#endif\n");
    // What the build generates, in its own directory, is made anew by it.
    write("proj/build/gen/table.c", "#include \"gen.h\"\n#include \"gen.h\"\n");
    write("proj/build/gen/gen.h", "#ifndef GEN_H\n#define GEN_H\n#include \"../../src/local.h\"\n#endif\n");
    const std::string project = (root() / "proj").generic_string();
    write("proj/build/compile_commands.json",
          "[{\"directory\": \"" + project + "\", \"file\": \"src/m.c\", \"command\": \"cc -Iinc -I../system -c src/m.c\"},"
          " {\"directory\": \"" + project + "\", \"file\": \"build/gen/table.c\", \"command\": \"cc -c build/gen/table.c\"},"
          " {\"directory\": \"" + project + "\", \"file\": \"src/lost.c\", \"command\": \"cc -c src/lost.c\"}]");
    fs::current_path(root() / "proj");
    const auto o = runVimbo({"-p", "build", "--check"});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.out, "src/local.h\nsrc/m.c\nsrc/spaced.h\n")
        << "other.c is no part of the build; system/s.h is the system's; an include spelt with blanks counts";
    EXPECT_NE(o.err.find("src/lost.c: in the build's database but not on disk"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("note: 2 files lie in the build directory, made by the build; left alone"), std::string::npos)
        << o.err;
    EXPECT_EQ(runVimbo({"-p", "build", "--check", "build/gen/table.c"}).out, "build/gen/table.c\n") << "named, it is taken";
    const auto named = runVimbo({"-p", "build", "--check", "other.c"});
    EXPECT_NE(named.err.find("vimbo: note: other.c: not compiled by the build's database"), std::string::npos)
        << named.err;
    fs::current_path(root());
}

}  // namespace
