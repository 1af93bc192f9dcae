// Libraries loaded on first use: what loading finds, what it says when it
// can't, and that a run over named files never loads libgit2.
#include <gtest/gtest.h>

#include <string>

#include "support/command_run.h"
#include "support/temp_dir.h"
#include "vimbo/engine/shared_library.h"

namespace vimbo::test {
namespace {

TEST(LoadedLibrary, FindsWhatALibraryExportsAndSaysWhyOneIsMissing) {
    std::string problem;
    void* library = vimbo::platform::loadSharedLibrary(VIMBO_LIBRARY, problem);
    ASSERT_NE(library, nullptr) << problem;
    EXPECT_EQ(problem, "");
    struct Case {
        const char* symbol;
        bool found;
    };
    for (const Case& c : {Case{"_Vimbo_Line", true}, Case{"_Vimbo_File", true}, Case{"_Vimbo_Nothing", false}})
        EXPECT_EQ(vimbo::platform::sharedLibrarySymbol(library, c.symbol) != nullptr, c.found) << c.symbol;
    EXPECT_EQ(vimbo::platform::sharedLibrarySymbol(nullptr, "_Vimbo_Line"), nullptr);

    const std::string missing = (fs::temp_directory_path() / "vimbo-no-such-library.so").string();
    EXPECT_EQ(vimbo::platform::loadSharedLibrary(missing, problem), nullptr);
    EXPECT_NE(problem.find("vimbo-no-such-library"), std::string::npos) << problem;
}

#ifdef __linux__
// The dynamic loader names each library it opens (LD_DEBUG=files).
class LazyLibgit2 : public TempDirTest {};

TEST_F(LazyLibgit2, IsLoadedOnlyWhenGitIsAsked) {
    write("a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    write("a.c", "#include \"a.h\"\n");
    struct Case {
        std::vector<std::string> arguments;
        bool loads;  // asks git which files it ignores
    };
    const Case cases[] = {
        {{"--check", "--compiler", "no-such-compiler", "-i", ".", "a.c", "a.h"}, false},
        {{"--version"}, false},
        {{"--check", "--compiler", "no-such-compiler", "-i", ".", "--tree", "."}, true},
    };
    ScopedEnv debug("LD_DEBUG", "files");
    for (const Case& c : cases) {
        const CommandOutcome outcome = runVimbo(c.arguments);
        EXPECT_EQ(outcome.err.find("libgit2") != std::string::npos, c.loads) << c.arguments.front() << "\n"
                                                                              << outcome.err.substr(0, 2000);
    }
}
#endif

}  // namespace
}  // namespace vimbo::test
