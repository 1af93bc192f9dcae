#include "platform/file_system.h"

#include <algorithm>
#include <filesystem>

#include "vimbo/engine/paths.h"
#include "vimbo/engine/whole_file.h"

namespace vimbo::platform {

namespace {
// A file that keeps changing under the reader is given up on after this many reads.
constexpr int kMaxReads = 8;

// Appends the open file's bytes in place, reading at most one byte past
// `size`, the size it is known to have: one more tells a longer file, and a
// read that stops short right at that size has met the end, with no read
// more. False when a read fails.
bool appendUpTo(const FileSystemOps& ops, FileHandle file, std::string& bytes, std::uint64_t size) {
    const std::size_t start = bytes.size();
    bytes.resize(start + size + 1);
    std::size_t have = 0;
    std::int64_t got = 0;
    while (have <= size) {
        const std::size_t room = size + 1 - have;
        got = ops.read(file, &bytes[start + have], room);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
        if (have == size && static_cast<std::size_t>(got) < room) break;
    }
    bytes.resize(start + have);
    return got >= 0;
}
}  // namespace

bool readWholeFile(const FileSystemOps& ops, const std::string& path, std::string& bytes, FileIdentity* identity,
                   const FileIdentity* knownName, const std::function<bool()>& undisturbed) {
    return readWholeFileWithin(ops, path, bytes, kNoSizeLimit, identity, knownName, undisturbed) == ReadResult::read;
}

ReadResult readWholeFileWithin(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                               std::uint64_t maxSize, FileIdentity* identity, const FileIdentity* knownName,
                               const std::function<bool()>& undisturbed) {
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
        else if (knownName && !ops.identity(path, named)) return ReadResult::failed;
        const FileHandle file = ops.openRead(path);
        if (file == kNoFile) return ReadResult::failed;
        // Without the size the open found, no version can be told.
        if (!ops.handleIdentity(file, before)) {
            ops.close(file);
            return ReadResult::failed;
        }
        // The read makes room for the whole size at once.
        if (before.size > maxSize || before.size >= bytes.max_size() - start) {
            ops.close(file);
            if (identity) *identity = before;
            return ReadResult::tooLarge;
        }
        if (!knownName) named = before;
        bool read = false;
        try {
            read = appendUpTo(ops, file, bytes, before.size);
        } catch (...) {
            // Out of memory, say: the file is not left open behind the caller.
            ops.close(file);
            throw;
        }
        bool known = true;
        if (undisturbed && undisturbed()) after = before;
        else known = ops.handleIdentity(file, after);
        ops.close(file);
        if (!read || !known) return ReadResult::failed;
        if (named == before && before == after && after.size == bytes.size() - start) {
            if (identity) *identity = before;
            return ReadResult::read;
        }
        bytes.resize(start);
    }
    return ReadResult::failed;
}

bool readKnownVersion(const FileSystemOps& ops, const std::string& path, std::string& bytes,
                      const FileIdentity& known, std::uint64_t maxSize) {
    if (known.size > maxSize || known.size >= bytes.max_size() - bytes.size()) return false;
    const FileHandle file = ops.openRead(path, &known);
    if (file == kNoFile) return false;
    const std::size_t start = bytes.size();
    bool read = false;
    try {
        read = appendUpTo(ops, file, bytes, known.size);
    } catch (...) {
        ops.close(file);
        throw;
    }
    ops.close(file);
    return read && bytes.size() - start == known.size;
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

WholeFile readRegularFile(const std::string& path, std::uint64_t limit, std::string& bytes) {
    bytes.clear();
    const vimbo::platform::ReadResult read = vimbo::platform::readWholeFileWithin(
        vimbo::platform::defaultFileSystemOps(), path, bytes, limit);
    if (read == vimbo::platform::ReadResult::read) return WholeFile::read;
    if (read == vimbo::platform::ReadResult::tooLarge) return WholeFile::tooLarge;
    bytes.clear();
    // Only to say why: what the open refused, or could not open.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(vimbo::platform::nativePath(path), error);
    if (!std::filesystem::exists(status)) return WholeFile::missing;
    return std::filesystem::is_regular_file(status) ? WholeFile::unreadable : WholeFile::notRegular;
}

std::uint64_t linkCount(const std::string& path) {
    vimbo::platform::FileIdentity identity;
    return vimbo::platform::defaultFileSystemOps().identity(path, identity) ? identity.links : 0;
}

}  // namespace vimbo::engine
