// Which version of a file each name stands for in a run: looked up once
// after the index, forgotten for every name of a version the run replaced,
// and facts carried over a rewrite only to the very file put in its place.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/facts_store.h"
#include "analysis/file_versions.h"
#include "analysis/header_facts.h"
#include "analysis/path_parts.h"
#include "support/temp_dir.h"

namespace {

using vimbo::analysis::FactsStore;
using vimbo::analysis::FileVersions;
using vimbo::platform::FileIdentity;
namespace fs = vimbo::test::fs;

class FileVersionsTest : public vimbo::test::TempDirTest {
protected:
    FileIdentity identity(const std::string& name) {
        FileIdentity found;
        EXPECT_TRUE(vimbo::test::fileSystem().identity(name, found)) << name;
        return found;
    }
    // A new file under the old name, as a rewrite's swap leaves it.
    void replace(const std::string& name, const std::string& text) {
        write(name + ".new", text);
        fs::rename(root() / (name + ".new"), root() / name);
    }
    // Looked up as a header cache does: asked first, else looked at.
    bool lookUp(FileVersions& versions, const std::string& name, FileIdentity& found) {
        std::uint64_t generation = 0;
        if (versions.known(name, found, generation)) return true;
        found = identity(name);
        versions.lookedUp(name, found, generation);
        return false;
    }
};

TEST_F(FileVersionsTest, ANameStandsForTheVersionLookedUpUntilTheRunReplacesIt) {
    enum class Rewrite { none, itself, itselfUnknown, another, anotherWhileLookingUp };
    const struct {
        const char* what;
        bool indexed;
        Rewrite rewrite;
        bool known;  // both names of a.h, after the rewrite
    } cases[] = {
        {"before the index nothing is remembered", false, Rewrite::none, false},
        {"after the index a name is looked up once", true, Rewrite::none, true},
        {"every name of the version replaced is looked up again", true, Rewrite::itself, false},
        {"a version replaced unknown: every name is", true, Rewrite::itselfUnknown, false},
        {"another file replaced: the names stay", true, Rewrite::another, true},
        {"a look while a rewrite began is not kept", true, Rewrite::anotherWhileLookingUp, false},
    };
    for (const auto& c : cases) {
        write("a.h", "int a;\n");
        write("b.h", "int b;\n");
        FactsStore facts(false);
        FileVersions versions(facts);
        if (c.indexed) versions.indexed();
        const FileIdentity a = identity("a.h");
        FileIdentity found;
        if (c.rewrite == Rewrite::anotherWhileLookingUp) {
            for (const char* name : {"a.h", "./a.h"}) {
                std::uint64_t generation = 0;
                ASSERT_FALSE(versions.known(name, found, generation)) << c.what;
                FileIdentity oldB;
                EXPECT_FALSE(versions.aboutToRewrite("b.h", oldB)) << c.what;
                versions.lookedUp(name, identity(name), generation);
                versions.rewritten("b.h", identity("b.h"));
            }
        } else {
            EXPECT_FALSE(lookUp(versions, "a.h", found)) << c.what;
            EXPECT_FALSE(lookUp(versions, "./a.h", found)) << c.what;
        }
        if (c.rewrite == Rewrite::itself || c.rewrite == Rewrite::itselfUnknown) {
            FileIdentity old;
            EXPECT_EQ(versions.aboutToRewrite("a.h", old), c.indexed) << c.what;
            EXPECT_TRUE(old == a) << c.what;
            replace("a.h", "int aa;\n");
            versions.rewritten("a.h", c.rewrite == Rewrite::itself ? old : FileIdentity{});
        } else if (c.rewrite == Rewrite::another) {
            FileIdentity oldB;
            EXPECT_FALSE(versions.aboutToRewrite("b.h", oldB)) << c.what;
            const FileIdentity b = identity("b.h");
            replace("b.h", "int bb;\n");
            versions.rewritten("b.h", b);
        }
        for (const char* name : {"a.h", "./a.h"}) {
            EXPECT_EQ(lookUp(versions, name, found), c.known) << c.what << ": " << name;
            if (c.known) {
                EXPECT_TRUE(found == a) << c.what << ": " << name;
            }
        }
    }
}

TEST_F(FileVersionsTest, FactsCarriedOverARewriteReachOnlyTheFilePutInItsPlace) {
    const std::string header = "#ifndef A_H\n#define A_H\n#include <b.h>\n#endif\n";
    const std::string wrapped = "#ifndef A_H\n#define A_H\n#ifndef B_H\n#include <b.h>\n#endif\n#endif\n";
    enum class Asked { newFile, oldFile, anotherFile, newFileTwice };
    const struct {
        const char* what;
        bool wrapsInside;  // the wraps lie inside the guard, after discovery's end
        Asked asked;
        bool carried;
    } cases[] = {
        {"the new file takes the old facts", true, Asked::newFile, true},
        {"taken once", true, Asked::newFileTwice, false},
        {"the old file does not", true, Asked::oldFile, false},
        {"another file does not", true, Asked::anotherFile, false},
        {"wraps before discovery's end carry nothing", false, Asked::newFile, false},
    };
    for (const auto& c : cases) {
        write("a.h", header);
        write("other.h", wrapped);  // the same size as the new file
        FactsStore facts(false);
        FileVersions versions(facts);
        const FileIdentity read = identity("a.h");
        // Kept as the header cache keeps them: by the base name, upper case.
        const std::string baseName = vimbo::analysis::upperCaseAscii(vimbo::analysis::splitPath("a.h").baseName);
        const auto kept = facts.remember(baseName, read,
                                         std::make_shared<vimbo::analysis::HeaderFacts>(
                                             vimbo::analysis::examineHeader(header, baseName, true)));
        ASSERT_EQ(kept->controllingMacro(), "A_H");
        const std::uint64_t from = c.wrapsInside ? header.find("#include") : 0;
        const std::uint64_t to = c.wrapsInside ? header.find("#endif") : 0;
        ASSERT_EQ(kept->unchangedByWrapsIn(from, to), c.wrapsInside) << c.what;
        replace("a.h", wrapped);
        const FileIdentity now = identity("a.h");
        versions.carryFacts("a.h", read, now, from, to);
        FileIdentity asked = now;
        if (c.asked == Asked::oldFile) asked = read;
        if (c.asked == Asked::anotherFile) asked = identity("other.h");
        if (c.asked == Asked::newFileTwice) {
            EXPECT_TRUE(versions.carriedTo("a.h", asked)) << c.what;
        }
        const auto carried = versions.carriedTo("a.h", asked);
        EXPECT_EQ(carried != nullptr, c.carried) << c.what;
        if (carried) {
            EXPECT_EQ(carried->controllingMacro(), "A_H") << c.what;
            // The old text's offsets say nothing of the new one.
            EXPECT_EQ(carried->includeWordEnd, vimbo::analysis::HeaderFacts::kUnknownOffset) << c.what;
        }
    }
}

}  // namespace
