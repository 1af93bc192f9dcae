// The command's long options, taken out before the library's arguments.
#include <gtest/gtest.h>

#include <optional>

#include "front_end_options.h"
#include "vimbo/engine/arguments.h"

namespace {

using vimbo::cli::readFrontEndOptions;

vimbo::cli::FrontEndOptions read(std::vector<const char*> args) {
    return readFrontEndOptions(static_cast<int>(args.size()), args.data());
}

std::vector<std::string> fileArguments(const std::vector<const char*>& arguments) {
    return vimbo::engine::readArgumentWords(static_cast<int>(arguments.size()), arguments.data()).files;
}

std::vector<std::string> rest(const vimbo::cli::FrontEndOptions& options) {
    return std::vector<std::string>(options.arguments.begin(), options.arguments.end());
}

using Strings = std::vector<std::string>;

TEST(FrontEndOptions, StandAnywhereBeforeTheLine) {
    auto o = read({"-b", "-i", "inc", "--tree", "--ext", "c", "--ext=.H", "src", "--check"});
    EXPECT_TRUE(o.tree);
    EXPECT_TRUE(o.check);
    EXPECT_EQ(o.extensions, (Strings{".c", ".H"}));
    EXPECT_EQ(rest(o), (Strings{"-b", "-i", "inc", "src"}));
    EXPECT_EQ(fileArguments(o.arguments), (Strings{"src"}));
}

TEST(FrontEndOptions, LineTextAndIncludeValuesAreNeverTaken) {
    auto o = read({"--quiet", "-i", "--odd", "-t", "#include", "--diff"});
    EXPECT_TRUE(o.quiet);
    EXPECT_FALSE(o.diff);
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(rest(o), (Strings{"-i", "--odd", "-t", "#include", "--diff"}));
    EXPECT_EQ(fileArguments(o.arguments), Strings{});
}

TEST(FrontEndOptions, DoubleDashEndsThem) {
    auto o = read({"--", "--tree", "x.c"});
    EXPECT_FALSE(o.tree);
    EXPECT_EQ(rest(o), (Strings{"--tree", "x.c"}));
}

TEST(FrontEndOptions, Errors) {
    EXPECT_EQ(read({"--nope"}).error, "unknown option '--nope'");
    EXPECT_EQ(read({"--chek"}).error, "unknown option '--chek'; did you mean --check?");
    EXPECT_EQ(read({"--ext"}).error, "--ext needs an extension");
    EXPECT_EQ(read({"--check", "--diff"}).error, "--check and --diff exclude each other");
}

// Words that look like options but are none are kept apart: a batch run
// refuses them, single-file mode takes them for file names.
TEST(FrontEndOptions, UnknownDashWordsAreKeptApart) {
    auto o = read({"-i", "-inc", "-check", "-b", "--tree", "src", "-n", "--", "-odd.c"});
    EXPECT_EQ(o.unknownWords, (Strings{"-check", "-n"}));
    EXPECT_EQ(read({"-i"}).unknownWords, Strings{}) << "a last -i is the library's to ignore";
}

TEST(FrontEndOptions, NearestOption) {
    const std::pair<const char*, const char*> cases[] = {
        {"-check", "--check"}, {"-tree", "--tree"},     {"--tre", "--tree"},         {"-n", "--check"},
        {"--dry-run", "--check"}, {"-r", "--tree"},     {"-verify", "--verify"},     {"-keep-lines", "--keep-lines"},
        {"-CHECK", "--check"},  {"-diff", "--diff"},     {"-", "--files-from"},       {"---strip", "--strip"},
    };
    for (const auto& [word, option] : cases) EXPECT_EQ(vimbo::cli::nearestOption(word), option) << word;
}

}  // namespace

namespace {

// How C and C++ tools spell options, and what each reaches; a habit of
// theirs gets its hint in the very message the user reads.
TEST(FrontEndOptions, SpellingsOfOtherTools) {
    const struct {
        std::vector<const char*> args;
        Strings rest;             // what the library is given
        const char* build;        // -p's directory
        const char* error;        // the whole usage error, "" for none
    } cases[] = {
        {{"--check", "-Iinc", "src"}, {"-I", "inc", "src"}, "", ""},
        {{"--tree", "-iinc", "-i", "x", "src"}, {"-i", "inc", "-i", "x", "src"}, "", ""},
        {{"-Iinc", "m.c"}, {"-Iinc", "m.c"}, "", ""},  // single-file mode: the library's word
        {{"--check", "-pbuild", "src"}, {"src"}, "build", ""},
        {{"--check", "-p=build", "src"}, {"src"}, "build", ""},
        {{"--check", "-p", "build"}, {}, "build", ""},
        {{"--check", "-p="}, {}, "", "-p needs the directory of compile_commands.json"},
        {{"--dry-run"}, {}, "", "unknown option '--dry-run'; did you mean --check?"},
        {{"--cached"}, {}, "", "unknown option '--cached'; did you mean --staged?"},
        {{"--recursive"}, {}, "", "unknown option '--recursive'; did you mean --tree?"},
        {{"--config", "a.toml", "--no-config"}, {}, "", "--config and --no-config exclude each other"},
    };
    for (const auto& c : cases) {
        const auto o = read(c.args);
        SCOPED_TRACE(c.args[0] + std::string(" ") + (c.args.size() > 1 ? c.args[1] : ""));
        EXPECT_EQ(o.error, c.error);
        if (*c.error) continue;
        EXPECT_EQ(rest(o), c.rest);
        EXPECT_EQ(o.buildDirectory, c.build);
    }
}

// A switch and its "--no-" form: the last given wins, over a configuration too.
TEST(FrontEndOptions, SwitchesAndTheirOpposites) {
    const struct {
        std::vector<const char*> args;
        std::optional<bool> strict, keepLines;
    } cases[] = {
        {{"--check"}, std::nullopt, std::nullopt},
        {{"--strict", "--no-strict"}, false, std::nullopt},
        {{"--no-strict", "--strict"}, true, std::nullopt},
        {{"--no-keep-lines"}, std::nullopt, false},
        {{"--no-keep-lines", "--keep-lines"}, std::nullopt, true},
    };
    for (const auto& c : cases) {
        const auto settings = vimbo::cli::commandLineSettingsOf(read(c.args));
        EXPECT_EQ(settings.strict, c.strict) << c.args.back();
        EXPECT_EQ(settings.keepLines, c.keepLines) << c.args.back();
    }
}

}  // namespace

#include "progress.h"

namespace {

TEST(Progress, LineTellsRateAndTimeLeft) {
    const struct {
        std::size_t count, total;
        double elapsed;
        const char* line;
    } cases[] = {
        {0, 600, 0, "0 of 600 files"},
        {10, 600, 0.1, "10 of 600 files"},  // too soon to tell a rate
        {120, 600, 3, "120 of 600 files, 40/s, 12s left"},
        {100, 60000, 2, "100 of 60000 files, 50/s, 19m58s left"},
        {600, 600, 15, "600 of 600 files, 40/s"},
    };
    for (const auto& c : cases) EXPECT_EQ(vimbo::cli::Progress::line(c.count, c.total, "files", c.elapsed), c.line);
}

}  // namespace
