// A layer over a file system that keeps every change in memory. Through its
// table of operations, reads see earlier writes, removes and renames, and
// nothing on disk is written: a dry run hands that table to the very code
// of a real run. Overlays nest: each one lies over the table it is given.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace vimbo::platform {

class MemoryOverlay {
public:
    struct Entry {
        bool exists = false;
        std::string content;  // the bytes as they would be on disk
        // False when the overlay kept the text as edits against a file
        // that has changed on disk since: the content is then unknown.
        bool intact = true;
    };

    // `throughLinks`: a file reached through a linked directory is the
    // file of the directory the link names (each directory resolved once).
    explicit MemoryOverlay(const FileSystemOps& below, bool throughLinks = false);
    ~MemoryOverlay();
    MemoryOverlay(const MemoryOverlay&) = delete;
    MemoryOverlay& operator=(const MemoryOverlay&) = delete;

    // The operations to hand to whoever is to work in memory; valid as long
    // as the overlay lives.
    const FileSystemOps& ops() const { return ops_; }

    // What the overlay holds for a path, or nothing when it never changed it.
    std::optional<Entry> changed(const std::string& path) const;

private:
    // Its files and open handles; the operations it installs find it through
    // the table's context, so overlays put over overlays keep apart.
    void* state_;
    FileSystemOps ops_;
};

}  // namespace vimbo::platform
