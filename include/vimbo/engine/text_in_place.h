// A file system in which one file holds a text given in memory, all else
// as on disk: an editor's unsaved buffer read as the file it stands for.
// Nothing on disk is written through it.
#pragma once

#include <memory>
#include <string>

namespace vimbo::platform {
struct FileSystemOps;
class MemoryOverlay;
}  // namespace vimbo::platform

namespace vimbo::engine {

class TextInPlace {
public:
    // `below`: the file system it lies over (the system's when null).
    TextInPlace(const std::string& path, const std::string& text, const vimbo::platform::FileSystemOps* below = nullptr);
    ~TextInPlace();
    TextInPlace(const TextInPlace&) = delete;
    TextInPlace& operator=(const TextInPlace&) = delete;

    // False when the text could not be put there (the path names no file
    // a run could read).
    bool placed() const { return placed_; }
    const vimbo::platform::FileSystemOps& ops() const;

private:
    std::unique_ptr<vimbo::platform::MemoryOverlay> overlay_;
    bool placed_ = false;
};

}  // namespace vimbo::engine
