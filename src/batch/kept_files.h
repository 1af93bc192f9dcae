// Files kept aside while --verify works: the originals a real run may
// replace, and the copy of a tree a dry run is checked in.
#pragma once

#include <filesystem>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "vimbo/engine/file_rewriter.h"
#include "vimbo/engine/paths.h"

namespace vimbo::batch {

// The files (device and file number) given a hard link of their own to
// keep them aside while the run goes on.
using LinkedAside = std::set<std::pair<std::uint64_t, std::uint64_t>>;

// A new directory `prefix` + a number in `parent`, open to this user alone;
// empty when none can be made.
std::filesystem::path makeTemporaryDirectory(const std::filesystem::path& parent, const std::string& prefix);
// The directory both lie in.
std::filesystem::path commonPart(const std::filesystem::path& a, const std::filesystem::path& b);
std::filesystem::path absoluteNormal(const std::string& path);

// The folders --verify keeps the originals in, beside the files.
extern const char kKeptOriginalsPrefix[];
// Folders of originals left in the directories of `files`, or above them,
// by --verify runs cut short (a kill, a power cut): the files those runs
// rewrote were never verified.
std::vector<std::string> originalsLeftBehind(const std::vector<std::string>& files);
// Removes the copies of trees that dry --verify runs killed meanwhile left
// in the temporary directory (this user's own, whose run is gone): their
// hard links would count as more names of every file of the tree, which
// then would never be wrapped. Returns what it removed.
std::vector<std::string> removeAbandonedMirrors();

// The originals of the files a real run may rewrite, kept until the
// verdict. A rewrite puts a new file in each place, so a hard link keeps
// the old one whole: putting it back restores bytes, times and permissions.
class Originals {
public:
    // What cannot be put back is told to `observer`.
    explicit Originals(vimbo::engine::BatchObserver& observer) : observer_(observer) {}
    ~Originals();
    // Keeps each file, in a hidden directory beside them where hard links
    // can be made (the walk never enters one), else in the temporary
    // directory; with `backups`, each one's ".Bak" as it is now too.
    bool keep(const std::vector<std::string>& files, bool backups = false);
    // The files that are no longer the ones kept: what the run rewrote.
    std::vector<std::string> replaced() const;
    // Puts back every file that the run rewrote and that is still the
    // version the run left (`written`, by path); false (and the kept files
    // left where they are, named) when one cannot be, or was changed by
    // someone else meanwhile.
    bool restore(const std::map<std::string, vimbo::engine::FileVersion>& written);
    const LinkedAside& linked() const { return linked_; }
    // Removes the kept files (unless restore() left them to be named);
    // false, told, when they stay: they are more names of the run's files.
    bool release();

private:
    vimbo::engine::BatchObserver& observer_;
    std::filesystem::path store_;
    bool keepStore_ = false;
    std::vector<std::pair<std::string, std::filesystem::path>> kept_;
    LinkedAside linked_;
    std::vector<vimbo::engine::DirectoryIdentity> directories_;  // of each kept file, as it was kept
    std::vector<vimbo::engine::FileVersion> versions_;            // each file as it was kept
    // Each file's ".Bak" as it was before the run (kept path empty: none).
    struct OldBackup {
        std::filesystem::path kept;
        vimbo::engine::FileVersion version;
    };
    std::vector<OldBackup> backups_;
    // After a file is put back, its ".Bak" is as it was before the run,
    // where the run's copy is all that stands there.
    void putBackupBack(std::size_t i);
};

// A dry run's result reaches the preprocessor through a copy of the tree
// that holds every unit and every file the run would change: hard links
// where they can be made, the changed files written anew. Both passes run
// in the copy, so that paths the preprocessor prints (__FILE__) agree.
class Mirror {
public:
    ~Mirror();
    bool make(const std::filesystem::path& root, std::string& error);
    // A path or argument naming the original tree, made to name the copy.
    std::string moved(const std::string& text) const;
    // Writes a file's new text into the copy, or puts the tree's own back.
    bool write(const std::string& path, const std::string& text);
    bool reset(const std::string& path);
    const LinkedAside& linked() const { return linked_; }

private:
    // Whether writing `target` writes in the copy, not through a link out of it.
    bool inside(const std::filesystem::path& target) const;
    std::filesystem::path root_, place_, copy_;
    LinkedAside linked_;
};

}  // namespace vimbo::batch
