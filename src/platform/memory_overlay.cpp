#include "platform/memory_overlay.h"

#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/file_system.h"

namespace vimbo::platform {
namespace {

namespace fs = std::filesystem;

struct OpenFile {
    std::string key;
    std::string snapshot;  // what a reader sees
    std::size_t position = 0;
    bool writing = false;
    bool open = false;
};

struct OverlayState {
    FileSystemOps below;  // the operations the overlay was put over
    std::map<std::string, MemoryOverlay::Entry> entries;
    std::vector<OpenFile> files;
    // Every version of a file in memory gets an identity of its own.
    std::map<std::string, std::uint64_t> versions;
    std::uint64_t lastVersion = 0;
    // Dry runs rewrite files on several threads at once.
    std::recursive_mutex lock;
};

// Identities of files in memory: a device no real file system reports.
constexpr std::uint64_t kMemoryDevice = ~std::uint64_t{0};

OverlayState* state = nullptr;

// One key per file, whatever spelling reached it.
std::string keyOf(const std::string& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(nativePath(path)), error);
    return (error ? fs::path(nativePath(path)) : absolute).lexically_normal().generic_string();
}

MemoryOverlay::Entry* entryOf(const std::string& path) {
    auto found = state->entries.find(keyOf(path));
    return found == state->entries.end() ? nullptr : &found->second;
}

// Memory handles are negative and below kNoFile, so they never meet a real one.
bool isMemoryHandle(FileHandle file) { return file < kNoFile; }
FileHandle memoryHandle(std::size_t index) { return -static_cast<FileHandle>(index) - 2; }
OpenFile& openFile(FileHandle file) { return state->files[static_cast<std::size_t>(-file - 2)]; }

FileHandle openMemory(const std::string& key, std::string snapshot, bool writing) {
    state->files.push_back(OpenFile{key, std::move(snapshot), 0, writing, true});
    return memoryHandle(state->files.size() - 1);
}


bool overlayExists(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    const MemoryOverlay::Entry* entry = entryOf(path);
    return entry ? entry->exists : state->below.exists(path);
}

bool overlayIsLink(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return entryOf(path) ? false : state->below.isLink(path);
}

bool overlaySameFile(const std::string& a, const std::string& b) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (keyOf(a) == keyOf(b)) return overlayExists(a);
    if (entryOf(a) || entryOf(b)) return false;
    return state->below.sameFile(a, b);
}

FileHandle overlayOpenRead(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (const MemoryOverlay::Entry* entry = entryOf(path))
        return entry->exists ? openMemory(keyOf(path), entry->content, false) : kNoFile;
    return state->below.openRead(path);
}

// Whether a regular file stands at the path on disk (not a directory or device).
bool regularFileBelow(const std::string& path) {
    FileHandle file = state->below.openRead(path);
    if (file == kNoFile) return false;
    state->below.close(file);
    return true;
}

// A file that a real directory or device stands in the way of cannot be made.
bool mayCreate(const std::string& path) {
    return entryOf(path) || !state->below.exists(path) || regularFileBelow(path);
}

void newVersion(const std::string& key) { state->versions[key] = ++state->lastVersion; }

bool overlayIdentity(const std::string& path, FileIdentity& identity) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    const MemoryOverlay::Entry* entry = entryOf(path);
    if (!entry) return state->below.identity(path, identity);
    if (!entry->exists) return false;
    // Every change gives a new version: a version in memory is always settled.
    identity = FileIdentity{kMemoryDevice, state->versions[keyOf(path)], entry->content.size(), 0, true};
    return true;
}

FileHandle create(const std::string& path) {
    const std::string key = keyOf(path);
    state->entries[key] = MemoryOverlay::Entry{true, ""};
    newVersion(key);
    return openMemory(key, "", true);
}

FileHandle overlayCreateNew(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (overlayExists(path)) return kNoFile;
    return create(path);
}

FileHandle overlayCreateTruncate(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (!mayCreate(path)) return kNoFile;
    return create(path);
}

std::int64_t overlayRead(FileHandle file, char* buffer, std::size_t size) {
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(file)) return state->below.read(file, buffer, size);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(file);
    const std::size_t count = std::min(size, open.snapshot.size() - open.position);
    open.snapshot.copy(buffer, count, open.position);
    open.position += count;
    return static_cast<std::int64_t>(count);
}

bool overlayWrite(FileHandle file, const char* data, std::size_t size) {
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(file)) return state->below.write(file, data, size);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(file);
    auto found = state->entries.find(open.key);
    if (!open.writing || found == state->entries.end()) return false;
    found->second.content.append(data, size);
    newVersion(open.key);
    return true;
}

bool overlayClose(FileHandle file) {
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(file)) return state->below.close(file);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(file);
    open = OpenFile{};
    while (!state->files.empty() && !state->files.back().open) state->files.pop_back();
    return true;
}

bool overlayRemove(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (MemoryOverlay::Entry* entry = entryOf(path)) {
        if (!entry->exists) return false;
        *entry = MemoryOverlay::Entry{};
        return true;
    }
    // Only what the real remove would take: an existing file, not a directory.
    if (!regularFileBelow(path)) return false;
    state->entries[keyOf(path)] = MemoryOverlay::Entry{};
    return true;
}

bool overlayRename(const std::string& from, const std::string& to) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    std::string content;
    if (const MemoryOverlay::Entry* entry = entryOf(from)) {
        if (!entry->exists) return false;
        content = entry->content;
    } else if (!readWholeFile(state->below, from, content)) {
        return false;
    }
    if (overlayExists(to)) return false;  // as the real rename: never onto a file
    state->entries[keyOf(to)] = MemoryOverlay::Entry{true, std::move(content)};
    newVersion(keyOf(to));
    state->entries[keyOf(from)] = MemoryOverlay::Entry{};
    return true;
}

// Under the lock, the two steps are one to every other reader.
bool overlayReplace(const std::string& from, const std::string& to) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (!overlayExists(from) || !overlayExists(to) || !overlayRemove(to)) return false;
    return overlayRename(from, to);
}

// A file written in memory may be written again; one never changed is what
// the disk says.
bool overlayReadOnly(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return !entryOf(path) && state->below.readOnly(path);
}

// Files in memory carry no permissions: giving them some cannot fail.
bool overlayCopyPermissions(const std::string& from, const std::string& to) {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return overlayExists(from) && overlayExists(to);
}

}  // namespace

MemoryOverlay::MemoryOverlay() {
    state = new OverlayState{fileSystem(), {}, {}, {}, 0, {}};
    FileSystemOps& ops = fileSystem();
    ops.exists = overlayExists;
    ops.isLink = overlayIsLink;
    ops.sameFile = overlaySameFile;
    ops.identity = overlayIdentity;
    ops.openRead = overlayOpenRead;
    ops.createNew = overlayCreateNew;
    ops.createTruncate = overlayCreateTruncate;
    ops.read = overlayRead;
    ops.write = overlayWrite;
    ops.close = overlayClose;
    ops.remove = overlayRemove;
    ops.rename = overlayRename;
    ops.replace = overlayReplace;
    ops.readOnly = overlayReadOnly;
    ops.copyPermissions = overlayCopyPermissions;
}

MemoryOverlay::~MemoryOverlay() {
    fileSystem() = state->below;
    delete state;
    state = nullptr;
}

const MemoryOverlay::Entry* MemoryOverlay::changed(const std::string& path) const {
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return entryOf(path);
}

}  // namespace vimbo::platform
