// The only door to the operating system. Everything above this layer names
// paths in the system's own form ("\\" separators) and goes through the table
// of operations below; each platform fills the table with its own calls.
//
// Tests replace single entries of the table to make one operation fail
// (a hard read error, a failed rename, ...) and put the defaults back after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vimbo::platform {

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// What tells one version of a file from another: which file it is and, so
// that a file changed in place counts as new, its size and modification time.
struct FileIdentity {
    std::uint64_t device = 0, file = 0, size = 0;
    std::int64_t modified = 0;  // nanoseconds, or the platform's own unit
    // The modification time lies far enough in the past that another change
    // would show in it; a file written within the last moments may change
    // again within the same clock tick, keeping size and time.
    bool settled = true;
    // Names the file has (hard links); a rewrite gives one of them a new file.
    std::uint64_t links = 1;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && file == other.file && size == other.size && modified == other.modified;
    }
};

struct FileSystemOps {
    // True for any existing path, directories included; no access right is tested.
    bool (*exists)(const std::string& path);
    // True when the path itself is a symbolic link (or another reparse point).
    bool (*isLink)(const std::string& path);
    // True when both paths exist and name one and the same file.
    bool (*sameFile)(const std::string& a, const std::string& b);
    // The identity of an existing regular file; false for anything else.
    bool (*identity)(const std::string& path, FileIdentity& identity);
    // Opens an existing regular file for reading; directories, devices and
    // pipes are refused, since reading them could fail late or never end.
    FileHandle (*openRead)(const std::string& path);
    // Creates a file that must not exist yet. Files created here are open to
    // their owner alone until copyPermissions widens them: the text they are
    // to hold may be private.
    FileHandle (*createNew)(const std::string& path);
    // Creates a regular file or truncates an existing one.
    FileHandle (*createTruncate)(const std::string& path);
    // Bytes read (> 0), 0 at the end of the file, -1 on a hard error.
    std::int64_t (*read)(FileHandle file, char* buffer, std::size_t size);
    // Writes all bytes or reports false.
    bool (*write)(FileHandle file, const char* data, std::size_t size);
    // False when the system reports an error on closing (lost written data).
    bool (*close)(FileHandle file);
    // Removes a file (never a directory).
    bool (*remove)(const std::string& path);
    // Moves a file to a name that does not exist; across devices it copies,
    // permissions included.
    bool (*rename)(const std::string& from, const std::string& to);
    // Puts a file in the place of an existing one in a single step, so that
    // a reader sees the old file or the new one, never none; false (and
    // both files as they were) when it cannot.
    bool (*replace)(const std::string& from, const std::string& to);
    // True when an existing file may not be written: its permissions or
    // attributes say so, for this process, or its file system is read-only.
    bool (*readOnly)(const std::string& path);
    // Gives `to` the permission bits (or attributes) of `from`, and its owner
    // and group where this process may set them. False only when the
    // permissions could not be set; then `to` is never left more open than
    // `from`. Set-user and set-group bits are kept only with the owner.
    bool (*copyPermissions)(const std::string& from, const std::string& to);
};

// Appends the whole content of a regular file, read through `ops`; false
// when it cannot be opened or a read fails.
bool readWholeFile(const FileSystemOps& ops, const std::string& path, std::string& bytes);

// A path in the system's own form as this platform's file system takes it.
std::string nativePath(const std::string& path);

// The table in use. Tests may change entries; restoreDefaultOps() undoes that.
FileSystemOps& fileSystem();
const FileSystemOps& defaultFileSystemOps();
void restoreDefaultOps();

}  // namespace vimbo::platform
