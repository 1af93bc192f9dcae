#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>

#include "vimbo/engine/paths.h"

namespace vimbo::platform {

namespace {
// A file that keeps changing under the reader is given up on after this many reads.
constexpr int kMaxReads = 8;
}  // namespace

bool readWholeFile(const FileSystemOps& ops, const std::string& path, std::string& bytes, FileIdentity* identity,
                   const FileIdentity* knownName, const std::function<bool()>& undisturbed) {
    const std::size_t start = bytes.size();
    for (int attempt = 0; attempt < kMaxReads; ++attempt) {
        // What the name stands for before the file is opened, and the open
        // file before and after the read: the same each time, or the bytes
        // may be those of another version or even another file (one whose
        // old version was reused for other text while it was open here).
        // Without an identity to hold the name to, the name stands for what
        // the open found: the bytes are still those of one version.
        FileIdentity named, before, after;
        if (attempt == 0 && knownName) named = *knownName;
        else if (knownName && !ops.identity(path, named)) return false;
        const FileHandle file = ops.openRead(path);
        if (file == kNoFile) return false;
        bool known = ops.handleIdentity(file, before);
        if (!knownName) named = before;
        // Read in place, one byte past the size the open found: a read that
        // stops short right at that size has met the end, with no read more.
        std::size_t have = 0;
        std::int64_t got;
        for (;;) {
            const std::size_t room = known && have <= before.size ? before.size + 1 - have : 65536;
            bytes.resize(start + have + room);
            got = ops.read(file, &bytes[start + have], room);
            if (got <= 0) break;
            have += static_cast<std::size_t>(got);
            if (known && have == before.size && static_cast<std::size_t>(got) < room) {
                got = 0;
                break;
            }
        }
        bytes.resize(start + have);
        if (undisturbed && undisturbed()) after = before;
        else known = ops.handleIdentity(file, after) && known;
        ops.close(file);
        if (got != 0 || !known) return false;
        if (named == before && before == after && after.size == bytes.size() - start) {
            if (identity) *identity = before;
            return true;
        }
        bytes.resize(start);
    }
    return false;
}

bool readKnownVersion(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                      const FileIdentity& known) {
    const FileHandle file = ops.openRead(path, &known);
    if (file == kNoFile) return false;
    const std::size_t start = bytes.size();
    bytes.resize(start + known.size + 1);
    std::size_t have = 0;
    std::int64_t got = 0;
    // One byte past the size tells a longer file.
    while (have <= known.size && (got = ops.read(file, &bytes[start + have], known.size + 1 - have)) > 0)
        have += static_cast<std::size_t>(got);
    ops.close(file);
    bytes.resize(start + have);
    return got >= 0 && have == known.size;
}

}  // namespace vimbo::platform

namespace vimbo::platform {

std::string canonicalPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path native(nativePath(path));
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(native, error);
    return (error ? std::filesystem::absolute(native, error).lexically_normal() : canonical).generic_string();
}

std::string CanonicalPaths::of(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path native(nativePath(path));
    const fs::path name = native.filename();
    std::error_code error;
    // Resolving a path asks the system about each of its directories; a
    // link, "." or ".." as the last part is resolved whole.
    if (name.empty() || name == "." || name == "..") return canonicalPath(path);
    const fs::path parent = native.has_parent_path() ? native.parent_path() : fs::path(".");
    const std::string key = parent.generic_string();
    const auto inDirectory = [&](const Directory& directory) {
        const bool link =
            directory.listed
                ? std::binary_search(directory.links.begin(), directory.links.end(), name.string())
                : fs::is_symlink(fs::symlink_status(native, error));
        return link ? canonicalPath(path) : (fs::path(directory.canonical) / name).generic_string();
    };
    {
        std::lock_guard<std::mutex> hold(lock_);
        const auto found = directories_.find(key);
        if (found != directories_.end()) return inDirectory(found->second);
    }
    Directory directory;
    directory.canonical = fs::weakly_canonical(parent, error).generic_string();
    if (error) return canonicalPath(path);
    // The listing gives each entry's own type without a look at it (where
    // the file system can't tell, the entry is looked at).
    fs::directory_iterator it(parent, error), end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_symlink(typeError) || typeError) directory.links.push_back(it->path().filename().string());
    }
    directory.listed = !error;
    std::sort(directory.links.begin(), directory.links.end());
    error.clear();
    std::lock_guard<std::mutex> hold(lock_);
    return inDirectory(directories_.emplace(key, std::move(directory)).first->second);
}

}  // namespace vimbo::platform

namespace vimbo::engine {

bool pathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(vimbo::platform::nativePath(path), error));
}

bool isDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(vimbo::platform::nativePath(path), error);
}

std::uint64_t linkCount(const std::string& path) {
    vimbo::platform::FileIdentity identity;
    return vimbo::platform::defaultFileSystemOps().identity(path, identity) ? identity.links : 0;
}

}  // namespace vimbo::engine
