#include "platform/memory_overlay.h"

#include <filesystem>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/file_system.h"
#include "platform/line_edits.h"

namespace vimbo::platform {
namespace {

namespace fs = std::filesystem;

struct OpenFile {
    std::string key;
    FileIdentity identity;  // of the version opened
    std::string snapshot;  // what a reader sees
    std::size_t position = 0;
    bool writing = false;
    bool open = false;
};

// A file as the overlay keeps it: whole, or, once it has replaced a file
// below, as its line edits against that file (a dry run over a large tree
// would otherwise hold every rewritten text).
struct Stored {
    bool exists = false;
    std::string content;  // the bytes, when kept whole
    bool asEdits = false;
    LineEdits edits;
    std::size_t size = 0;  // of the bytes as they would be on disk
};

struct OverlayState {
    FileSystemOps below;  // the operations the overlay was put over
    std::map<std::string, Stored> entries;
    std::vector<OpenFile> files;
    // Every version of a file in memory gets an identity of its own.
    std::map<std::string, std::uint64_t> versions;
    std::uint64_t lastVersion = 0;
    FileHandle id = 0;  // which block of handles is this overlay's
    fs::path directory;  // the current directory when the overlay was made
    // Dry runs rewrite files on several threads at once.
    std::recursive_mutex lock;
    // Keys with each directory's links resolved (a text put in place is
    // the same file through a linked directory), each directory asked once.
    bool throughLinks = false;
    mutable std::mutex directoriesLock;
    mutable std::map<std::string, std::string> directories;
};

OverlayState* stateOf(const FileSystemOps& self) { return static_cast<OverlayState*>(self.context); }

// Identities of files in memory: a device no real file system reports.
constexpr std::uint64_t kMemoryDevice = ~std::uint64_t{0};


// One key per file, whatever spelling reached it. A plain relative path is
// taken from the directory the overlay was made in (asking the system for
// it on every operation cost a call each time); others as the system says.
std::string lexicalKeyOf(const OverlayState* state, const std::string& path) {
    const fs::path native(nativePath(path));
    if (!state->directory.empty() && native.is_relative() && !native.has_root_name() && !native.has_root_directory())
        return (state->directory / native).lexically_normal().generic_string();
    std::error_code error;
    fs::path absolute = fs::absolute(native, error);
    return (error ? native : absolute).lexically_normal().generic_string();
}

std::string keyOf(const OverlayState* state, const std::string& path) {
    std::string key = lexicalKeyOf(state, path);
    if (!state->throughLinks) return key;
    const fs::path lexical(key);
    const std::string parent = lexical.parent_path().generic_string();
    std::lock_guard<std::mutex> hold(state->directoriesLock);
    auto found = state->directories.find(parent);
    if (found == state->directories.end()) {
        std::error_code error;
        const fs::path resolved = fs::weakly_canonical(lexical.parent_path(), error);
        found = state->directories.emplace(parent, error ? parent : resolved.generic_string()).first;
    }
    return (fs::path(found->second) / lexical.filename()).generic_string();
}

// A file removed or renamed away lets its bytes go (assigning an empty
// string would keep the buffer).
void forget(Stored& entry) {
    Stored gone;
    std::swap(entry, gone);
}

Stored* entryOf(OverlayState* state, const std::string& path) {
    auto found = state->entries.find(keyOf(state, path));
    return found == state->entries.end() ? nullptr : &found->second;
}

// The bytes of an existing entry reached by `path`; false when they are kept
// as edits and the file below them has changed since.
bool contentOf(OverlayState* state, const std::string& path, const Stored& entry, std::string& content) {
    if (!entry.asEdits) {
        content = entry.content;
        return true;
    }
    std::string base;
    return readWholeFile(state->below, path, base) && applyLineEdits(entry.edits, base, content);
}

// A whole entry that stands for a file below is kept as its edits, when
// they are smaller.
void keepAsEdits(OverlayState* state, const std::string& path, Stored& entry) {
    std::string base;
    if (!entry.exists || entry.asEdits || !readWholeFile(state->below, path, base)) return;
    if (!lineEdits(base, entry.content, entry.edits)) {
        entry.edits = LineEdits{};
        return;
    }
    entry.asEdits = true;
    std::string().swap(entry.content);
}

// Memory handles are negative and below kNoFile, so they never meet a real one.
// Each overlay hands out handles of its own block; one put over another
// passes the other's handles down. The block is fixed when the overlay is
// made, so telling them apart needs no lock.
constexpr FileHandle kHandlesPerOverlay = FileHandle{1} << 20;
bool isMemoryHandle(const OverlayState* state, FileHandle file) {
    return file < kNoFile && (-file - 2) / kHandlesPerOverlay == state->id;
}
FileHandle memoryHandle(const OverlayState* state, std::size_t index) {
    return -(state->id * kHandlesPerOverlay + static_cast<FileHandle>(index)) - 2;
}
OpenFile& openFile(OverlayState* state, FileHandle file) {
    return state->files[static_cast<std::size_t>((-file - 2) % kHandlesPerOverlay)];
}

FileHandle openMemory(OverlayState* state, const std::string& key, std::string snapshot, bool writing) {
    const FileIdentity identity{kMemoryDevice, state->versions[key], snapshot.size(), 0, 0, true};
    state->files.push_back(OpenFile{key, identity, std::move(snapshot), 0, writing, true});
    return memoryHandle(state, state->files.size() - 1);
}


bool overlayExists(const FileSystemOps& self, const std::string& path) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    const Stored* entry = entryOf(state, path);
    return entry ? entry->exists : state->below.exists(path);
}

bool overlayIsLink(const FileSystemOps& self, const std::string& path) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return entryOf(state, path) ? false : state->below.isLink(path);
}

bool overlaySameFile(const FileSystemOps& self, const std::string& a, const std::string& b) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (keyOf(state, a) == keyOf(state, b)) return overlayExists(self, a);
    if (entryOf(state, a) || entryOf(state, b)) return false;
    return state->below.sameFile(a, b);
}

FileHandle overlayOpenRead(const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (const Stored* entry = entryOf(state, path)) {
        std::string content;
        if (!entry->exists || !contentOf(state, path, *entry, content)) return kNoFile;
        return openMemory(state, keyOf(state, path), std::move(content), false);
    }
    return state->below.openRead(path, known);
}

// Whether a regular file stands at the path on disk (not a directory or device).
bool regularFileBelow(OverlayState* state, const std::string& path) {
    FileHandle file = state->below.openRead(path);
    if (file == kNoFile) return false;
    state->below.close(file);
    return true;
}

// A file that a real directory or device stands in the way of cannot be made.
bool mayCreate(OverlayState* state, const std::string& path) {
    return entryOf(state, path) || !state->below.exists(path) || regularFileBelow(state, path);
}

void newVersion(OverlayState* state, const std::string& key) { state->versions[key] = ++state->lastVersion; }

// A file read from memory is the version it was opened as, whatever came after.
bool overlayHandleIdentity(const FileSystemOps& self, FileHandle file, FileIdentity& identity) {
    OverlayState* state = stateOf(self);
    if (!isMemoryHandle(state, file)) return state->below.handleIdentity(file, identity);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    identity = openFile(state, file).identity;
    return true;
}

bool overlayIdentity(const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    const Stored* entry = entryOf(state, path);
    if (!entry) return state->below.identity(path, identity);
    if (!entry->exists) return false;
    // Every change gives a new version: a version in memory is always settled.
    identity = FileIdentity{kMemoryDevice, state->versions[keyOf(state, path)], entry->size, 0, 0, true};
    return true;
}

bool overlayIdentityNoFollow(const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (!entryOf(state, path)) return state->below.identityNoFollow(path, identity);
    return overlayIdentity(self, path, identity);
}

FileHandle create(OverlayState* state, const std::string& path) {
    const std::string key = keyOf(state, path);
    state->entries[key] = Stored{true, "", false, {}, 0};
    newVersion(state, key);
    return openMemory(state, key, "", true);
}

FileHandle overlayCreateNew(const FileSystemOps& self, const std::string& path) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (overlayExists(self, path)) return kNoFile;
    return create(state, path);
}

FileHandle overlayCreateTruncate(const FileSystemOps& self, const std::string& path, const FileIdentity* expected) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (!mayCreate(state, path)) return kNoFile;
    FileIdentity now;
    if (expected && !(overlayIdentity(self, path, now) && now.isAloneAs(*expected)))
        return kNoFile;
    return create(state, path);
}

// In memory a file written over is a new file: nothing is freed.
FileHandle overlayOpenOverwrite(const FileSystemOps& self, const std::string& path, const FileIdentity& expected) {
    return overlayCreateTruncate(self, path, &expected);
}

bool overlaySetSize(const FileSystemOps& self, FileHandle file, std::uint64_t size) {
    OverlayState* state = stateOf(self);
    if (!isMemoryHandle(state, file)) return state->below.setSize(file, size);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(state, file);
    auto found = state->entries.find(open.key);
    if (!open.writing || found == state->entries.end()) return false;
    found->second.content.resize(static_cast<std::size_t>(size));
    found->second.size = found->second.content.size();
    newVersion(state, open.key);
    return true;
}

std::int64_t overlayRead(const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size) {
    OverlayState* state = stateOf(self);
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(state, file)) return state->below.read(file, buffer, size);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(state, file);
    const std::size_t count = std::min(size, open.snapshot.size() - open.position);
    open.snapshot.copy(buffer, count, open.position);
    open.position += count;
    return static_cast<std::int64_t>(count);
}

bool overlayWrite(const FileSystemOps& self, FileHandle file, const char* data, std::size_t size) {
    OverlayState* state = stateOf(self);
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(state, file)) return state->below.write(file, data, size);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(state, file);
    auto found = state->entries.find(open.key);
    if (!open.writing || found == state->entries.end()) return false;
    found->second.content.append(data, size);
    found->second.size = found->second.content.size();
    newVersion(state, open.key);
    return true;
}

bool overlayClose(const FileSystemOps& self, FileHandle file) {
    OverlayState* state = stateOf(self);
    // Real files go straight to the disk, with no lock held.
    if (!isMemoryHandle(state, file)) return state->below.close(file);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    OpenFile& open = openFile(state, file);
    open = OpenFile{};
    while (!state->files.empty() && !state->files.back().open) state->files.pop_back();
    return true;
}

bool overlayRemove(const FileSystemOps& self, const std::string& path) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (Stored* entry = entryOf(state, path)) {
        if (!entry->exists) return false;
        forget(*entry);
        return true;
    }
    // Only what the real remove would take: an existing file, not a directory.
    if (!regularFileBelow(state, path)) return false;
    state->entries[keyOf(state, path)] = Stored{};
    return true;
}

bool overlayRename(const FileSystemOps& self, const std::string& from, const std::string& to) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    std::string content;
    if (const Stored* entry = entryOf(state, from)) {
        if (!entry->exists || !contentOf(state, from, *entry, content)) return false;
    } else if (!readWholeFile(state->below, from, content)) {
        return false;
    }
    if (overlayExists(self, to)) return false;  // as the real rename: never onto a file
    Stored& moved = state->entries[keyOf(state, to)];
    moved = Stored{true, std::move(content), false, {}, 0};
    moved.size = moved.content.size();
    keepAsEdits(state, to, moved);
    newVersion(state, keyOf(state, to));
    forget(state->entries[keyOf(state, from)]);
    return true;
}

// Under the lock, the two steps are one to every other reader.
bool overlayReplace(const FileSystemOps& self, const std::string& from, const std::string& to) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    if (!overlayExists(self, from) || !overlayExists(self, to) || !overlayRemove(self, to)) return false;
    return overlayRename(self, from, to);
}

// Files in memory are replaced, never swapped: what a swap would leave
// under the other name is a copy of the old text that a dry run never needs.
Exchange overlayExchange(const FileSystemOps&, const std::string&, const std::string&) { return Exchange::unsupported; }

// Nothing in memory is lost with the power.
bool overlaySync(const FileSystemOps& self, FileHandle file) {
    OverlayState* state = stateOf(self);
    return isMemoryHandle(state, file) || state->below.sync(file);
}

bool overlaySyncFileSystem(const FileSystemOps&, const std::string&) { return true; }

// A file written in memory may be written again; one never changed is what
// the disk says.
bool overlayReadOnly(const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return !entryOf(state, path) && state->below.readOnly(path, known);
}

// Files in memory carry no permissions or attributes: giving them some cannot fail.
bool overlayCopyAttributes(const FileSystemOps& self, const std::string& from, const std::string& to) {
    OverlayState* state = stateOf(self);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    return overlayExists(self, from) && overlayExists(self, to);
}

bool overlayCopyPermissions(const FileSystemOps& self, const std::string& from, const std::string& to,
                            const FileIdentity*, const FileIdentity*) {
    return overlayCopyAttributes(self, from, to);
}

}  // namespace

MemoryOverlay::MemoryOverlay(const FileSystemOps& below, bool throughLinks) {
    static std::atomic<FileHandle> lastId{0};
    auto* state = new OverlayState{below, {}, {}, {}, 0, lastId++ % 2000, {}, {}, throughLinks, {}, {}};
    std::error_code error;
    state->directory = fs::current_path(error);
    state_ = state;
    ops_ = below;
    ops_.context = state;
    ops_.xExists = overlayExists;
    ops_.xIsLink = overlayIsLink;
    ops_.xSameFile = overlaySameFile;
    ops_.xIdentity = overlayIdentity;
    ops_.xIdentityNoFollow = overlayIdentityNoFollow;
    ops_.xHandleIdentity = overlayHandleIdentity;
    ops_.xOpenRead = overlayOpenRead;
    ops_.xCreateNew = overlayCreateNew;
    ops_.xCreateTruncate = overlayCreateTruncate;
    ops_.xOpenOverwrite = overlayOpenOverwrite;
    ops_.xSetSize = overlaySetSize;
    ops_.xRead = overlayRead;
    ops_.xWrite = overlayWrite;
    ops_.xClose = overlayClose;
    ops_.xRemove = overlayRemove;
    ops_.xRename = overlayRename;
    ops_.xReplace = overlayReplace;
    ops_.xExchange = overlayExchange;
    ops_.xReadOnly = overlayReadOnly;
    ops_.xCopyPermissions = overlayCopyPermissions;
    ops_.xCopyAttributes = overlayCopyAttributes;
    ops_.xSync = overlaySync;
    ops_.xSyncFileSystem = overlaySyncFileSystem;
    ops_.wholeFileSystemSync = true;
}

MemoryOverlay::~MemoryOverlay() { delete static_cast<OverlayState*>(state_); }

std::optional<MemoryOverlay::Entry> MemoryOverlay::changed(const std::string& path) const {
    auto* state = static_cast<OverlayState*>(state_);
    std::lock_guard<std::recursive_mutex> hold(state->lock);
    const Stored* stored = entryOf(state, path);
    if (!stored) return std::nullopt;
    Entry entry;
    entry.exists = stored->exists;
    entry.intact = !stored->exists || contentOf(state, path, *stored, entry.content);
    return entry;
}

}  // namespace vimbo::platform
