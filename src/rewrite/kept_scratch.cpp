// The file a swap leaves under the scratch name, written again for the next
// file of the same directory.
#include "rewrite/scratch_file.h"

using vimbo::platform::FileIdentity;
using vimbo::platform::FileSystemOps;

bool holdsScratch(const FileSystemOps& fs, const KeptScratch& kept, const std::string& path) {
    FileIdentity now;
    return kept.held && kept.path == path && fs.identity(path, now) && now.isAloneAs(kept.identity);
}

void keepScratch(const FileSystemOps& fs, KeptScratch& kept, const std::string& path, const FileIdentity* left) {
    FileIdentity now;
    if (left) now = *left;
    kept.held = (left || fs.identity(path, now)) && now.links == 1;
    // Writing into a file with other names would change what they name.
    if (!kept.held) {
        fs.remove(path);
        return;
    }
    kept.path = path;
    kept.identity = now;
}

void releaseScratch(const FileSystemOps& fs, KeptScratch& kept) {
    if (holdsScratch(fs, kept, kept.path)) fs.remove(kept.path);
    kept.held = false;
}
