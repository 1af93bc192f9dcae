// The walk of --tree: which files of a tree a run takes, which it names as
// skipped and why, and which roots are errors.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "project/source_tree.h"
#include "support/temp_dir.h"

namespace {

namespace fs = vimbo::test::fs;
using vimbo::project::SkippedFile;

struct Tree {
    std::vector<std::string> files;                             // written, directories on the way
    std::vector<std::string> directories;                       // made empty
    std::vector<std::pair<std::string, std::string>> symlinks;  // link, target as written in it
    std::vector<std::pair<std::string, std::string>> hardLinks;  // new name, existing file
};

struct Case {
    const char* label;
    Tree tree;
    std::vector<std::string> roots;
    vimbo::project::WalkOptions options;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> skipped;  // path, reason
    std::vector<std::string> errors;
};

vimbo::project::WalkOptions walk(std::vector<std::string> extensions = vimbo::project::kDefaultExtensions,
                                 std::vector<std::string> exclusions = {}, bool breakLinks = false) {
    vimbo::project::WalkOptions options;
    options.extensions = std::move(extensions);
    options.exclusions = std::move(exclusions);
    options.breakLinks = breakLinks;
    options.gitIgnore = false;
    return options;
}

const std::string kLinked = "a symbolic link or not a regular file";
const std::string kTwoLinks = "2 hard links; --break-links rewrites it apart from them";

class SourceWalk : public vimbo::test::TempDirTest {
protected:
    void check(const Case& c) {
        fs::remove_all(root() / "t");
        fs::remove_all(root() / "u");
        for (const std::string& file : c.tree.files) write(file, "int x;\n");
        for (const std::string& directory : c.tree.directories) fs::create_directories(root() / directory);
        for (const auto& [link, target] : c.tree.symlinks) {
            fs::create_directories((root() / link).parent_path());
            fs::create_symlink(target, root() / link);
        }
        for (const auto& [name, existing] : c.tree.hardLinks) fs::create_hard_link(root() / existing, root() / name);
        const vimbo::project::SourceTree found = vimbo::project::findSources(c.roots, c.options);
        EXPECT_EQ(found.files, c.files) << c.label;
        std::vector<std::pair<std::string, std::string>> skipped;
        for (const SkippedFile& file : found.skipped) skipped.emplace_back(file.path, file.reason);
        EXPECT_EQ(skipped, c.skipped) << c.label;
        EXPECT_EQ(found.errors, c.errors) << c.label;
        EXPECT_EQ(found.gitProblems, std::vector<std::string>{}) << c.label;
    }
};

TEST_F(SourceWalk, NamesExtensionsAndExclusions) {
    const Tree nested{{"t/a.c", "t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp", "t/readme.txt", "t/x/Makefile",
                       "t/UPPER.H", "t/m.pb.h", "u/e.cc"},
                      {"t/empty"},
                      {},
                      {}};
    const Case cases[] = {
        {"nested, default extensions, in sorted order", nested, {"t"}, walk(),
         {"t/UPPER.H", "t/a.c", "t/m.pb.h", "t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp"}, {}, {}},
        {"two roots", nested, {"u", "t/x"}, walk(), {"t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp", "u/e.cc"}, {}, {}},
        {"a file under a root walked, named again, is taken once", nested, {"t/x", "t/x/b.h"}, walk(),
         {"t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp"}, {}, {}},
        {"extensions replace the list, in any case", nested, {"t"}, walk({".H"}),
         {"t/UPPER.H", "t/m.pb.h", "t/x/b.h"}, {}, {}},
        {"extensions that are not C", nested, {"t"}, walk({".txt"}), {"t/readme.txt"}, {}, {}},
        {"a file named is taken whatever its extension", nested, {"t/readme.txt", "t/x/Makefile"}, walk(),
         {"t/readme.txt", "t/x/Makefile"}, {}, {}},
        {"a name anywhere in the path", nested, {"t"}, walk(vimbo::project::kDefaultExtensions, {"y"}),
         {"t/UPPER.H", "t/a.c", "t/m.pb.h", "t/x/b.h"}, {}, {}},
        {"a name pattern", nested, {"t"}, walk(vimbo::project::kDefaultExtensions, {"*.pb.h"}),
         {"t/UPPER.H", "t/a.c", "t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp"}, {}, {}},
        {"a path from the root walked", nested, {"t"}, walk(vimbo::project::kDefaultExtensions, {"x/y"}),
         {"t/UPPER.H", "t/a.c", "t/m.pb.h", "t/x/b.h"}, {}, {}},
        {"a path that names the root is no path under it", nested, {"t"},
         walk(vimbo::project::kDefaultExtensions, {"t/x"}),
         {"t/UPPER.H", "t/a.c", "t/m.pb.h", "t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp"}, {}, {}},
        {"** crosses directories", nested, {"t"}, walk(vimbo::project::kDefaultExtensions, {"**/z/*.tpp"}),
         {"t/UPPER.H", "t/a.c", "t/m.pb.h", "t/x/b.h", "t/x/y/c.cpp"}, {}, {}},
        {"a file named is taken though excluded", nested, {"t/m.pb.h"},
         walk(vimbo::project::kDefaultExtensions, {"*.pb.h"}), {"t/m.pb.h"}, {}, {}},
        {"a root that is not there", nested, {"t/x", "nowhere"}, walk(), {"t/x/b.h", "t/x/y/c.cpp", "t/x/y/z/d.tpp"},
         {}, {"nowhere: no such file or directory"}},
    };
    for (const Case& c : cases) check(c);
}

TEST_F(SourceWalk, HiddenDirectoriesAreNotEntered) {
    const Tree hidden{{"t/a.c", "t/.git/b.c", "t/.cache/x/c.h", "t/x/.hidden/d.c", "t/.e.c", "t/..f/g.c"}, {}, {}, {}};
    const Case cases[] = {
        // A hidden file is no hidden directory: it is taken.
        {"under a root", hidden, {"t"}, walk(), {"t/.e.c", "t/a.c"}, {}, {}},
        {"a hidden directory named is walked", hidden, {"t/.cache"}, walk(), {"t/.cache/x/c.h"}, {}, {}},
        {"a hidden file named", hidden, {"t/.git/b.c"}, walk(), {"t/.git/b.c"}, {}, {}},
    };
    for (const Case& c : cases) check(c);
}

#ifndef _WIN32
TEST_F(SourceWalk, LinksAreNeverFollowedNorParted) {
    const std::vector<std::string> files = {"t/a.c", "u/o.c", "u/p.h"};
    const Tree symlinks{files, {}, {{"t/link.c", "a.c"}, {"t/dead.h", "nothing.h"}, {"t/dir", "../u"},
                                    {"t/dir.h", "../u"}, {"t/notes", "a.c"}}, {}};
    const Tree hardLinks{files, {}, {}, {{"t/twin.c", "t/a.c"}, {"t/twin.txt", "u/o.c"}}};
    const Case cases[] = {
        // A linked file stays a link: it is named as skipped. A linked directory
        // is not entered, and named only when its name is a source's.
        {"symbolic links", symlinks, {"t"}, walk(), {"t/a.c"},
         {{"t/dead.h", kLinked}, {"t/dir.h", kLinked}, {"t/link.c", kLinked}}, {}},
        {"a symbolic link named", symlinks, {"t/link.c"}, walk(), {}, {{"t/link.c", kLinked}}, {}},
        // A rewrite would part the twins: both are skipped, wherever the other name is.
        {"hard links", hardLinks, {"t"}, walk(), {}, {{"t/a.c", kTwoLinks}, {"t/twin.c", kTwoLinks}}, {}},
        {"a hard link outside the tree", hardLinks, {"u"}, walk(), {"u/p.h"}, {{"u/o.c", kTwoLinks}}, {}},
        {"a hard link named", hardLinks, {"t/twin.c"}, walk(), {}, {{"t/twin.c", kTwoLinks}}, {}},
        {"--break-links", hardLinks, {"t", "u"}, walk(vimbo::project::kDefaultExtensions, {}, true),
         {"t/a.c", "t/twin.c", "u/o.c", "u/p.h"}, {}, {}},
        {"--break-links takes no symbolic link", symlinks, {"t"}, walk(vimbo::project::kDefaultExtensions, {}, true),
         {"t/a.c"}, {{"t/dead.h", kLinked}, {"t/dir.h", kLinked}, {"t/link.c", kLinked}}, {}},
    };
    for (const Case& c : cases) check(c);

    // Left to the run, which counts them as it reads each file.
    vimbo::project::WalkOptions later = walk();
    later.linksCountedLater = true;
    check({"links counted later", hardLinks, {"t"}, later, {"t/a.c", "t/twin.c"}, {}, {}});
}

// A name with "\" would be read as two parts of a path elsewhere in the
// engine: never taken, and said so.
TEST_F(SourceWalk, NamesWithABackslashAreSkipped) {
    const std::string reason = "a name with \\, which paths here take for a separator";
    const Tree odd{{"t/a.c", "t/b\\c.c", "t/d\\e/f.c", "t/g\\h.txt"}, {}, {}, {}};
    check({"backslashes", odd, {"t"}, walk(), {"t/a.c"}, {{"t/b\\c.c", reason}, {"t/d\\e", reason}}, {}});
}
#endif

}  // namespace
