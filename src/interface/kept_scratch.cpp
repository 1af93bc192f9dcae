// The file a swap leaves under the scratch name, written again for the next
// file of the same directory.
#include "interface/scratch_file.h"

using vimbo::platform::FileIdentity;
using vimbo::platform::fileSystem;

bool holdsScratch(const KeptScratch& kept, const std::string& path) {
    FileIdentity now;
    return kept.held && kept.path == path && fileSystem().identity(path, now) && now == kept.identity &&
           now.links == 1;
}

void keepScratch(KeptScratch& kept, const std::string& path) {
    FileIdentity now;
    kept.held = fileSystem().identity(path, now) && now.links == 1;
    // Writing into a file with other names would change what they name.
    if (!kept.held) {
        fileSystem().remove(path);
        return;
    }
    kept.path = path;
    kept.identity = now;
}

void releaseScratch(KeptScratch& kept) {
    if (holdsScratch(kept, kept.path)) fileSystem().remove(kept.path);
    kept.held = false;
}
