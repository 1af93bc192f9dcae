// A layer over the real file system that keeps every change in memory. While
// it is installed, reads see earlier writes, removes and renames, and nothing
// on disk is written: a dry run can go through the very code of a real one.
// Overlays nest: each one lies over the table it found.
#pragma once

#include <map>
#include <string>

namespace vimbo::platform {

class MemoryOverlay {
public:
    struct Entry {
        bool exists = false;
        std::string content;  // the bytes as they would be on disk
    };

    MemoryOverlay();   // installs itself into the operations table
    ~MemoryOverlay();  // puts back the operations it replaced
    MemoryOverlay(const MemoryOverlay&) = delete;
    MemoryOverlay& operator=(const MemoryOverlay&) = delete;

    // What the overlay holds for a path, or null when it never changed it.
    const Entry* changed(const std::string& path) const;

private:
    // Its files and open handles; the operations it installs find it through
    // the table's context, so overlays put over overlays keep apart.
    void* state_;
};

}  // namespace vimbo::platform
