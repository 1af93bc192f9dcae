// POSIX file system calls behind the operations table. Every call is made
// relative to a directory: the current one, or one the table holds (see
// HeldDirectory), which a name in it is reached through without a link.
#include "platform/file_system.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__) || defined(__APPLE__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace vimbo::platform {

// Paths arrive with "\\" separators; a POSIX file system wants "/".
std::string nativePath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

namespace {

// What a held table carries as its context.
struct Held {
    int fd = -1;
    std::string prefix;  // the directory as the run spells it: "" or ending in a separator
    bool readsFollowLinks = false;
};

// Where a call goes: a name in the directory held (links there are never
// followed where something is written), or a path from the current directory.
struct Place {
    int at = AT_FDCWD;
    std::string name;
    bool held = false;
    bool readsFollowLinks = false;
};

Place placeOf(const FileSystemOps& self, const std::string& path) {
    const Held* held = static_cast<const Held*>(self.context);
    if (held && path.size() > held->prefix.size() && path.compare(0, held->prefix.size(), held->prefix) == 0 &&
        path.find_first_of("/\\", held->prefix.size()) == std::string::npos) {
        std::string name = path.substr(held->prefix.size());
        if (name != "." && name != "..") return {held->fd, std::move(name), true, held->readsFollowLinks};
    }
    return {AT_FDCWD, nativePath(path), false};
}

bool statAt(const Place& place, struct stat& info, int flags) {
    return ::fstatat(place.at, place.name.c_str(), &info, flags) == 0;
}

bool posixExists(const FileSystemOps& self, const std::string& path) {
    struct stat info {};
    return statAt(placeOf(self, path), info, 0);
}

bool posixIsLink(const FileSystemOps& self, const std::string& path) {
    struct stat info {};
    return statAt(placeOf(self, path), info, AT_SYMLINK_NOFOLLOW) && S_ISLNK(info.st_mode);
}

bool posixSameFile(const FileSystemOps& self, const std::string& a, const std::string& b) {
    struct stat infoA {}, infoB {};
    if (!statAt(placeOf(self, a), infoA, 0) || !statAt(placeOf(self, b), infoB, 0)) return false;
    return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

bool identityOf(const struct stat& info, FileIdentity& identity) {
    if (!S_ISREG(info.st_mode)) return false;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.file = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.links = static_cast<std::uint64_t>(info.st_nlink);
    identity.mode = static_cast<std::uint32_t>(info.st_mode);
    identity.owner = static_cast<std::uint32_t>(info.st_uid);
    identity.group = static_cast<std::uint32_t>(info.st_gid);
    identity.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changed = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // Two seconds cover the coarsest time stamps in use (FAT, some network file systems).
    identity.settled = now.tv_sec - info.st_mtim.tv_sec > 2;
    return true;
}

bool posixIdentity(const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    struct stat info {};
    return statAt(placeOf(self, path), info, 0) && identityOf(info, identity);
}

bool posixIdentityNoFollow(const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    struct stat info {};
    return statAt(placeOf(self, path), info, AT_SYMLINK_NOFOLLOW) && identityOf(info, identity);
}

// What a handle of this table stands for: the descriptor, and the status
// the file was opened with (see openRegular), which stands for the open
// file until anything else is done with it: asking again before the first
// read would only repeat the call. Kept with the handle, so that a handle
// passed to another thread keeps its own.
struct OpenFile {
    int fd = -1;
    bool statusFresh = false;
    struct stat status {};
};

// A handle is the record's address halved: records are aligned to more than
// a byte, so nothing is lost, and the handle is never negative, never
// kNoFile and never one of an overlay's (which are below it).
FileHandle handleOf(OpenFile* open) {
    return static_cast<FileHandle>(reinterpret_cast<std::uintptr_t>(open) >> 1);
}

OpenFile* openOf(FileHandle file) {
    if (file <= 0) return nullptr;
    return reinterpret_cast<OpenFile*>(static_cast<std::uintptr_t>(file) << 1);
}

int fdOf(FileHandle file) {
    const OpenFile* open = openOf(file);
    return open ? open->fd : -1;
}

// The descriptor for an operation other than the identity: the status the
// open found no longer stands for the file.
int usedFd(FileHandle file) {
    OpenFile* open = openOf(file);
    if (!open) return -1;
    open->statusFresh = false;
    return open->fd;
}

bool posixHandleIdentity([[maybe_unused]] const FileSystemOps& self, FileHandle file, FileIdentity& identity) {
    OpenFile* open = openOf(file);
    if (!open) return false;
    if (open->statusFresh) {
        open->statusFresh = false;
        return identityOf(open->status, identity);
    }
    struct stat info {};
    return ::fstat(open->fd, &info) == 0 && identityOf(info, identity);
}

// Closes the descriptor and lets the record go, whatever the close says.
bool closeOpen(FileHandle file) {
    OpenFile* open = openOf(file);
    if (!open) return false;
    const bool closed = ::close(open->fd) == 0;
    delete open;
    return closed;
}

// Opens without blocking (a FIFO without a peer would hang) and keeps the
// descriptor only for a regular file, on which O_NONBLOCK has no effect.
// In a held directory a link is never opened. Without `look`, the caller
// knows what the name stands for: the open is not looked at.
FileHandle openRegular(const Place& place, int flags, struct stat* status = nullptr, bool look = true) {
    // Made first, so that running out of memory leaves no descriptor open.
    auto open = std::make_unique<OpenFile>();
    int fd;
    do {
        fd = ::openat(place.at, place.name.c_str(), flags | O_NONBLOCK | O_CLOEXEC | (place.held ? O_NOFOLLOW : 0),
                      0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kNoFile;
    struct stat info {};
    if (look && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return kNoFile;
    }
    open->fd = fd;
    if (look && (flags & O_ACCMODE) == O_RDONLY) {
        open->statusFresh = true;
        open->status = info;
    }
    if (status) *status = info;
    return handleOf(open.release());
}

FileHandle posixOpenRead(const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    Place place = placeOf(self, path);
    place.held = place.held && !place.readsFollowLinks;
    return openRegular(place, O_RDONLY, nullptr, !known);
}

FileHandle posixCreateNew(const FileSystemOps& self, const std::string& path) {
    return openRegular(placeOf(self, path), O_WRONLY | O_CREAT | O_EXCL);
}

FileHandle posixCreateTruncate(const FileSystemOps& self, const std::string& path, const FileIdentity* expected) {
    struct stat info {};
    Place place = placeOf(self, path);
    place.held = place.held || expected;  // the file expected is never reached through a link
    FileHandle file = openRegular(place, expected ? O_WRONLY : O_WRONLY | O_CREAT, &info);
    if (file == kNoFile) return kNoFile;
    // Checked before anything is cut: another file is closed untouched.
    FileIdentity now;
    if ((expected && !(identityOf(info, now) && now.isAloneAs(*expected))) || ::ftruncate(fdOf(file), 0) != 0) {
        closeOpen(file);
        return kNoFile;
    }
    return file;
}

// Whether no other descriptor, of any process, has the open file open: a
// program that kept an old version open (an editor, a build reading it)
// must not find another file's text in it. A write lease is granted only
// then; it is given back at once. Where none can be had, nobody can tell.
bool openHereAlone([[maybe_unused]] int fd) {
#if defined(__linux__) && defined(F_SETLEASE)
    // A break of the lease is told by a signal: one that does nothing.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0 || ::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) return false;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    return true;
#else
    return false;
#endif
}

FileHandle posixOpenOverwrite(const FileSystemOps& self, const std::string& path, const FileIdentity& expected) {
    struct stat info {};
    Place place = placeOf(self, path);
    place.held = true;  // the file expected is never reached through a link
    FileHandle file = openRegular(place, O_WRONLY, &info);
    if (file == kNoFile) return kNoFile;
    FileIdentity now;
    if (!(identityOf(info, now) && now.isAloneAs(expected) && now.size == expected.size &&
          now.modified == expected.modified) ||
        !openHereAlone(fdOf(file))) {
        closeOpen(file);
        return kNoFile;
    }
    return file;
}

bool posixSetSize([[maybe_unused]] const FileSystemOps& self, FileHandle file, std::uint64_t size) {
    return ::ftruncate(usedFd(file), static_cast<off_t>(size)) == 0;
}

std::int64_t posixRead([[maybe_unused]] const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size) {
    const int fd = usedFd(file);
    for (;;) {
        ssize_t got = ::read(fd, buffer, size);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

bool posixWrite([[maybe_unused]] const FileSystemOps& self, FileHandle file, const char* data, std::size_t size) {
    const int fd = usedFd(file);
    while (size > 0) {
        ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool posixClose([[maybe_unused]] const FileSystemOps& self, FileHandle file) {
    return closeOpen(file);
}

bool posixRemove(const FileSystemOps& self, const std::string& path) {
    const Place place = placeOf(self, path);
    return ::unlinkat(place.at, place.name.c_str(), 0) == 0;
}

// The permission bits and owner of a file: as the caller knows them, or asked.
bool statusOf(const Place& place, const FileIdentity* known, struct stat& info) {
    if (!known) return statAt(place, info, 0);
    info.st_mode = static_cast<mode_t>(known->mode);
    info.st_uid = static_cast<uid_t>(known->owner);
    info.st_gid = static_cast<gid_t>(known->group);
    return true;
}

bool posixReadOnly(const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    const Place place = placeOf(self, path);
    struct stat info {};
    if (!statusOf(place, known, info)) return false;
    const bool writable = ::faccessat(place.at, place.name.c_str(), W_OK, 0) == 0;
    // A file that is gone is not read-only: what comes next says it is gone.
    if (!writable && (errno == ENOENT || errno == ENOTDIR)) return false;
    // access() lets root write anything: a file without any write bit is
    // still meant to stay as it is.
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || !writable;
}

// A file whose permissions or attributes are to be set, opened so that
// what is set is that very file (in a held directory, never a link's target).
class Opened {
public:
    explicit Opened(const Place& place) {
        do {
            fd_ = ::openat(place.at, place.name.c_str(),
                           O_RDONLY | O_NONBLOCK | O_CLOEXEC | (place.held ? O_NOFOLLOW : 0));
        } while (fd_ < 0 && errno == EINTR);
    }
    ~Opened() {
        if (fd_ >= 0) ::close(fd_);
    }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

bool posixCopyPermissions(const FileSystemOps& self, const std::string& from, const std::string& to,
                          const FileIdentity* fromKnown, const FileIdentity* toKnown) {
    struct stat info {};
    if (!statusOf(placeOf(self, from), fromKnown, info)) return false;
    const Opened target(placeOf(self, to));
    if (target.fd() < 0) return false;
    // Owner first: changing it clears the set-user and set-group bits. A
    // file of this process's own user and group needs no change (the usual
    // case, and two calls fewer per file).
    struct stat now {};
    if (toKnown) {
        now.st_mode = static_cast<mode_t>(toKnown->mode);
        now.st_uid = static_cast<uid_t>(toKnown->owner);
        now.st_gid = static_cast<gid_t>(toKnown->group);
    } else if (::fstat(target.fd(), &now) != 0) {
        return false;
    }
    bool ownerKept = now.st_uid == info.st_uid && now.st_gid == info.st_gid;
    if (!ownerKept) {
        // The group, at least; what stays different is read back below.
        if (::fchown(target.fd(), info.st_uid, info.st_gid) != 0 &&
            ::fchown(target.fd(), static_cast<uid_t>(-1), info.st_gid) != 0) {
        }
        if (::fstat(target.fd(), &now) != 0) return false;
        ownerKept = now.st_uid == info.st_uid && now.st_gid == info.st_gid;
    }
    const mode_t mode = info.st_mode & (ownerKept ? 07777 : 0777);
    if ((now.st_mode & 07777) == mode) return true;
    return ::fchmod(target.fd(), mode) == 0;
}

#if defined(__linux__) || defined(__APPLE__)
// The names of an open file's extended attributes; false when they can't be listed.
bool attributeNames(int fd, std::vector<std::string>& names) {
    for (int attempt = 0; attempt < 4; ++attempt) {
#ifdef __APPLE__
        const ssize_t size = ::flistxattr(fd, nullptr, 0, 0);
#else
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
#endif
        names.clear();
        if (size < 0) return errno == ENOTSUP;  // a file system without them
        if (size == 0) return true;              // the usual case: no second call
        std::string list(static_cast<std::size_t>(size), '\0');
#ifdef __APPLE__
        const ssize_t got = ::flistxattr(fd, list.data(), list.size(), 0);
#else
        const ssize_t got = ::flistxattr(fd, list.data(), list.size());
#endif
        if (got < 0 && errno == ERANGE) continue;  // one was added meanwhile
        if (got < 0) return false;
        names.clear();
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const std::size_t end = list.find('\0', at);
            names.push_back(list.substr(at, end - at));
            at = end == std::string::npos ? list.size() : end + 1;
        }
        return true;
    }
    return false;
}

bool attributeValue(int fd, const std::string& name, std::string& value) {
    for (int attempt = 0; attempt < 4; ++attempt) {
#ifdef __APPLE__
        const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0, 0, 0);
#else
        const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
#endif
        if (size < 0) return false;
        value.assign(static_cast<std::size_t>(size), '\0');
#ifdef __APPLE__
        const ssize_t got = ::fgetxattr(fd, name.c_str(), value.data(), value.size(), 0, 0);
#else
        const ssize_t got = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
#endif
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value.resize(static_cast<std::size_t>(got));
        return true;
    }
    return false;
}

bool setAttribute(int fd, const std::string& name, const std::string& value) {
#ifdef __APPLE__
    return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0, 0) == 0;
#else
    return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0;
#endif
}

bool removeAttribute(int fd, const std::string& name) {
#ifdef __APPLE__
    return ::fremovexattr(fd, name.c_str(), 0) == 0;
#else
    return ::fremovexattr(fd, name.c_str()) == 0;
#endif
}

bool posixCopyAttributes(const FileSystemOps& self, const std::string& from, const std::string& to) {
    const Opened source(placeOf(self, from)), target(placeOf(self, to));
    if (source.fd() < 0 || target.fd() < 0) return false;
    std::vector<std::string> wanted, present;
    if (!attributeNames(source.fd(), wanted) || !attributeNames(target.fd(), present)) return false;
    // What the new file got on its own (a directory's default ACL) goes first.
    for (const std::string& name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() && !removeAttribute(target.fd(), name))
            return false;
    std::string value, current;
    for (const std::string& name : wanted) {
        if (!attributeValue(source.fd(), name, value)) return false;
        if (attributeValue(target.fd(), name, current) && current == value) continue;  // a label the system gave alike
        if (!setAttribute(target.fd(), name, value)) return false;
    }
    return true;
}
#else
bool posixCopyAttributes(const FileSystemOps&, const std::string&, const std::string&) { return true; }
#endif

// rename() cannot cross file systems; the scratch file lies in the current
// directory, which need not share a device with the file it replaces.
bool copyAcrossDevices(const FileSystemOps& self, const std::string& from, const std::string& to) {
    FileHandle in = posixOpenRead(self, from, nullptr);
    if (in == kNoFile) return false;
    FileHandle out = posixCreateNew(self, to);
    if (out == kNoFile) {
        posixClose(self, in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        std::int64_t got = posixRead(self, in, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0 || !posixWrite(self, out, buffer, static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    posixClose(self, in);
    ok = ::fdatasync(usedFd(out)) == 0 && ok;
    ok = posixClose(self, out) && ok;
    ok = ok && posixCopyPermissions(self, from, to, nullptr, nullptr) && posixCopyAttributes(self, from, to);
    if (!ok) {
        posixRemove(self, to);
        return false;
    }
    posixRemove(self, from);
    return true;
}

// Never onto an existing name, as on Windows: whatever stands there stays.
bool posixRename(const FileSystemOps& self, const std::string& from, const std::string& to) {
    const Place source = placeOf(self, from), target = placeOf(self, to);
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(source.at, source.name.c_str(), target.at, target.name.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EXDEV) return copyAcrossDevices(self, from, to);
    if (errno != EINVAL && errno != ENOSYS) return false;  // else a file system that can't tell: look first
#endif
    struct stat info {};
    if (statAt(target, info, AT_SYMLINK_NOFOLLOW)) return false;
    if (::renameat(source.at, source.name.c_str(), target.at, target.name.c_str()) == 0) return true;
    return errno == EXDEV && copyAcrossDevices(self, from, to);
}

bool posixReplace(const FileSystemOps& self, const std::string& from, const std::string& to) {
    const Place source = placeOf(self, from), target = placeOf(self, to);
    return ::renameat(source.at, source.name.c_str(), target.at, target.name.c_str()) == 0;
}

// Two names swapped in one step, where the system and the file system can.
Exchange exchangeAt([[maybe_unused]] const Place& first, [[maybe_unused]] const Place& second) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    if (::renameat2(first.at, first.name.c_str(), second.at, second.name.c_str(), RENAME_EXCHANGE) == 0)
        return Exchange::swapped;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EXDEV ? Exchange::unsupported
                                                                                   : Exchange::failed;
#else
    return Exchange::unsupported;
#endif
}

Exchange posixExchange(const FileSystemOps& self, const std::string& a, const std::string& b) {
    return exchangeAt(placeOf(self, a), placeOf(self, b));
}

bool posixSync([[maybe_unused]] const FileSystemOps& self, FileHandle file) {
#ifdef __APPLE__
    // fsync leaves the data in the drive's cache there.
    const int fd = usedFd(file);
    return ::fcntl(fd, F_FULLFSYNC) == 0 || ::fsync(fd) == 0;
#else
    return ::fdatasync(usedFd(file)) == 0;
#endif
}

#ifdef __linux__
constexpr bool kWholeFileSystemSync = true;
int syncDirectory(int fd) { return ::syncfs(fd); }
#else
// Elsewhere a directory's own sync puts its names on disk.
constexpr bool kWholeFileSystemSync = false;
int syncDirectory(int fd) { return ::fsync(fd); }
#endif

bool posixSyncFileSystem(const FileSystemOps& self, const std::string& path) {
    const Place place = placeOf(self, path);
    if (place.held) return syncDirectory(place.at) == 0;
    const std::size_t slash = place.name.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : place.name.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = syncDirectory(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

const FileSystemOps& defaultFileSystemOps() {
    static const FileSystemOps ops = {
        nullptr,
        posixExists,    posixIsLink, posixSameFile, posixIdentity, posixIdentityNoFollow, posixHandleIdentity,
        posixOpenRead,  posixCreateNew, posixCreateTruncate, posixOpenOverwrite, posixSetSize, posixRead,
        posixWrite,     posixClose,  posixRemove,   posixRename,
        posixReplace,   posixExchange,  posixReadOnly,  posixCopyPermissions, posixCopyAttributes,
        posixSync,      posixSyncFileSystem, kWholeFileSystemSync,
    };
    return ops;
}

}  // namespace vimbo::platform

namespace vimbo::engine {

bool directoryIdentity(const std::string& path, DirectoryIdentity& identity) {
    struct stat info {};
    const std::string native = vimbo::platform::nativePath(path.empty() ? "." : path);
    if (::stat(native.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.file = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool nameFitsPaths([[maybe_unused]] const std::string& name) {
    return name.find('\\') == std::string::npos;
}

}  // namespace vimbo::engine

namespace vimbo::platform {

HeldDirectory::HeldDirectory(const FileSystemOps& below, const std::string& directory,
                             const DirectoryIdentity* expected, bool readsFollowLinks)
    : ops_(below) {
    // Another table (a dry run's memory) writes nothing to hold a directory for.
    if (below.context) {
        held_ = true;
        return;
    }
    const std::string native = nativePath(directory.empty() ? "." : directory);
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (expected && !(DirectoryIdentity{static_cast<std::uint64_t>(info.st_dev),
                                                                    static_cast<std::uint64_t>(info.st_ino)} ==
                                                  *expected))) {
        ::close(fd);
        return;
    }
    state_ = new Held{fd, directory, readsFollowLinks};
    ops_.context = state_;
    held_ = true;
}

bool HeldDirectory::lock(bool wait) {
    std::lock_guard<std::mutex> hold(lock_);
    if (locks_ > 0 || !state_) {
        ++locks_;
        return true;
    }
    int done;
    do {
        done = ::flock(static_cast<Held*>(state_)->fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (done != 0 && errno == EINTR);
    // A file system without locks (some network ones) has nothing to keep out.
    if (done != 0 && errno != ENOLCK && errno != EOPNOTSUPP) return false;
    ++locks_;
    return true;
}

void HeldDirectory::unlock() {
    std::lock_guard<std::mutex> hold(lock_);
    if (locks_ == 0 || --locks_ > 0 || !state_) return;
    ::flock(static_cast<Held*>(state_)->fd, LOCK_UN);
}

bool HeldDirectory::moveHere(const HeldDirectory& source, const std::string& from, const std::string& to) {
    const Place here = placeOf(ops_, to), there = placeOf(source.ops_, from);
    if (!here.held || !there.held) return false;
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(there.at, there.name.c_str(), here.at, here.name.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    struct stat info {};
    return !statAt(here, info, AT_SYMLINK_NOFOLLOW) &&
           ::renameat(there.at, there.name.c_str(), here.at, here.name.c_str()) == 0;
}

Exchange HeldDirectory::exchangeWith(const HeldDirectory& other, const std::string& here, const std::string& there) {
    const Place mine = placeOf(ops_, here), theirs = placeOf(other.ops_, there);
    if (!mine.held || !theirs.held) return Exchange::unsupported;
    return exchangeAt(mine, theirs);
}

HeldDirectory::~HeldDirectory() {
    if (!state_) return;
    ::close(static_cast<Held*>(state_)->fd);
    delete static_cast<Held*>(state_);
}

}  // namespace vimbo::platform
