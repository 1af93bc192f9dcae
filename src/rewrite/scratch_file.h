#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace vimbo::rewrite {

// Every file-mode run writes its output here, in the current directory, and
// moves it over the target only when something was guarded.
inline constexpr const char kScratchFileName[] = "$vb$tmp$.$$$";

// Batch runs write the new texts of a directory beside its files, several
// at once (they are made durable together before any is put in place):
// "$vb$tmp$.$$$", then "$vb$tmp$.1", "$vb$tmp$.2" ... Each is created
// anew, never over a file already there: that may be what a run cut short
// left, and the only copy of a text.
std::string scratchName(unsigned number);
// The same for the backups' copies: "$vb$bak$.$$$", "$vb$bak$.1" ...
std::string backupScratchName(unsigned number);
// Whether a file name is one a run writes its scratch files under.
bool isScratchName(const std::string& name);

// The scratch names of one directory for the whole run: each is handed
// out once, so that a name in use (a new text waiting, an old text not yet
// removed) is never taken again.
class ScratchNames {
public:
    // `directory`: "" or ending in a separator, as the run spells it.
    explicit ScratchNames(std::string directory) : directory_(std::move(directory)) {}
    // The next name never handed out, with the directory in front.
    std::string next() {
        std::string name;
        do name = scratchName(next_++);
        while (kept_.count(name));
        return directory_ + name;
    }
    // The name `next` gave is free after all (what stood there is gone).
    void again() { --next_; }
    // The next name for a backup's copy, which waits beside its backup.
    std::string nextBackup() {
        std::string name;
        do name = backupScratchName(nextBackup_++);
        while (kept_.count(name));
        return directory_ + name;
    }
    // A file left there under a scratch name stays: the name is never handed out.
    void keep(const std::string& name) { kept_.insert(name); }
    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
    unsigned next_ = 0, nextBackup_ = 0;
    std::set<std::string> kept_;
};

// The file a swap leaves under a scratch name: the target's old version,
// removed once the swap that put it there is on disk.
struct OldVersion {
    std::shared_ptr<vimbo::platform::HeldDirectory> directory;  // reached through it
    std::string path;
    // As the swap left it: a file written since (by someone who had it
    // open) holds text that is kept.
    vimbo::platform::FileIdentity identity;
    std::string of;  // the file whose old version it is
    // It keeps its directory locked (another run would take it for a
    // leftover, and its name for a new text of its own) until it goes.
    bool locked = false;
    // Moved or given other permissions by the run itself, after a look that
    // found it as left: its change time then tells nothing.
    bool touched = false;
};

}  // namespace vimbo::rewrite
