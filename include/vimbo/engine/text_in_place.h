// A file system in which files hold texts given in memory, all else as on
// disk: an editor's unsaved buffer read as the file it stands for, or the
// staged texts of a commit. Nothing on disk is written through it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vimbo::platform {
struct FileSystemOps;
class MemoryOverlay;
}  // namespace vimbo::platform

namespace vimbo::engine {

class TextInPlace {
public:
    // `below`: the file system it lies over (the system's when null).
    TextInPlace(const std::string& path, const std::string& text, const vimbo::platform::FileSystemOps* below = nullptr);
    // Each (path, text) of `texts` in place.
    explicit TextInPlace(const std::vector<std::pair<std::string, std::string>>& texts,
                         const vimbo::platform::FileSystemOps* below = nullptr);
    ~TextInPlace();
    TextInPlace(const TextInPlace&) = delete;
    TextInPlace& operator=(const TextInPlace&) = delete;

    // False when a text could not be put there (its path names no file a
    // run could read).
    bool placed() const { return placed_; }
    const vimbo::platform::FileSystemOps& ops() const;

private:
    std::unique_ptr<vimbo::platform::MemoryOverlay> overlay_;
    bool placed_ = false;
};

}  // namespace vimbo::engine
