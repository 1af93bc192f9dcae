// POSIX file system calls behind the operations table.
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__) || defined(__APPLE__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <vector>

namespace vimbo::platform {

// Paths arrive with "\\" separators; a POSIX file system wants "/".
std::string nativePath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

namespace {

bool posixExists([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    struct stat info {};
    return ::stat(nativePath(path).c_str(), &info) == 0;
}

bool posixIsLink([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    struct stat info {};
    return ::lstat(nativePath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool posixSameFile([[maybe_unused]] const FileSystemOps& self, const std::string& a, const std::string& b) {
    struct stat infoA {}, infoB {};
    if (::stat(nativePath(a).c_str(), &infoA) != 0 || ::stat(nativePath(b).c_str(), &infoB) != 0)
        return false;
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

bool posixIdentity([[maybe_unused]] const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    struct stat info {};
    return ::stat(nativePath(path).c_str(), &info) == 0 && identityOf(info, identity);
}

bool posixIdentityNoFollow([[maybe_unused]] const FileSystemOps& self, const std::string& path,
                           FileIdentity& identity) {
    struct stat info {};
    return ::lstat(nativePath(path).c_str(), &info) == 0 && identityOf(info, identity);
}

// The status a file was opened with (see openRegular) stands for the open
// file until anything else is done with it: asking again before the first
// read would only repeat the call. Per thread: each thread reads its own files.
struct JustOpened {
    int fd = -1;
    struct stat info {};
};
thread_local JustOpened justOpened;

// Files opened to be written over: cut to what was written when closed.
thread_local std::vector<int> overwriting;

void forgetOpened(FileHandle file) {
    if (justOpened.fd == static_cast<int>(file)) justOpened.fd = -1;
}

bool posixHandleIdentity([[maybe_unused]] const FileSystemOps& self, FileHandle file, FileIdentity& identity) {
    if (justOpened.fd == static_cast<int>(file)) {
        justOpened.fd = -1;
        return identityOf(justOpened.info, identity);
    }
    struct stat info {};
    return ::fstat(static_cast<int>(file), &info) == 0 && identityOf(info, identity);
}

// Opens without blocking (a FIFO without a peer would hang) and keeps the
// descriptor only for a regular file, on which O_NONBLOCK has no effect.
// Without `look`, the caller knows what the name stands for: the open is
// not looked at.
FileHandle openRegular(const std::string& path, int flags, struct stat* status = nullptr, bool look = true) {
    int fd;
    do {
        fd = ::open(nativePath(path).c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kNoFile;
    struct stat info {};
    if (look && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return kNoFile;
    }
    // A number closed elsewhere and handed out again is a new file.
    overwriting.erase(std::remove(overwriting.begin(), overwriting.end(), fd), overwriting.end());
    if (look && (flags & O_ACCMODE) == O_RDONLY) justOpened = JustOpened{fd, info};
    else forgetOpened(fd);
    if (status) *status = info;
    return fd;
}

FileHandle posixOpenRead([[maybe_unused]] const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    return openRegular(path, O_RDONLY, nullptr, !known);
}

FileHandle posixCreateNew([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    return openRegular(path, O_WRONLY | O_CREAT | O_EXCL);
}

FileHandle posixCreateTruncate([[maybe_unused]] const FileSystemOps& self, const std::string& path,
                               const FileIdentity* expected) {
    // The old text is written over and cut off at the end, not cut off first:
    // ext4 flushes a file cut to nothing as it is closed, a step of writing
    // to disk per file of the run.
    struct stat info {};
    FileHandle fd = openRegular(path, expected ? O_WRONLY | O_NOFOLLOW : O_WRONLY | O_CREAT, &info);
    if (fd == kNoFile) return kNoFile;
    // Checked before anything is cut: another file is closed untouched.
    FileIdentity now;
    if (expected && !(identityOf(info, now) && now.isAloneAs(*expected))) {
        ::close(static_cast<int>(fd));
        return kNoFile;
    }
    overwriting.push_back(static_cast<int>(fd));
    return fd;
}

std::int64_t posixRead([[maybe_unused]] const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size) {
    forgetOpened(file);
    for (;;) {
        ssize_t got = ::read(static_cast<int>(file), buffer, size);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

bool posixWrite([[maybe_unused]] const FileSystemOps& self, FileHandle file, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = ::write(static_cast<int>(file), data, size);
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
    forgetOpened(file);
    const int fd = static_cast<int>(file);
    bool cut = true;
    const auto over = std::find(overwriting.begin(), overwriting.end(), fd);
    if (over != overwriting.end()) {
        overwriting.erase(over);
        // Only a file longer than what was written is cut: a cut to its own
        // size is still a change the file system makes a record of.
        const off_t end = ::lseek(fd, 0, SEEK_CUR), size = ::lseek(fd, 0, SEEK_END);
        cut = end >= 0 && size >= 0 && (size == end || ::ftruncate(fd, end) == 0);
    }
    return ::close(fd) == 0 && cut;
}

bool posixRemove([[maybe_unused]] const FileSystemOps& self, const std::string& path) { return ::unlink(nativePath(path).c_str()) == 0; }

// The permission bits and owner of a file: as the caller knows them, or asked.
bool statusOf(const std::string& native, const FileIdentity* known, struct stat& info) {
    if (!known) return ::stat(native.c_str(), &info) == 0;
    info.st_mode = static_cast<mode_t>(known->mode);
    info.st_uid = static_cast<uid_t>(known->owner);
    info.st_gid = static_cast<gid_t>(known->group);
    return true;
}

bool posixReadOnly([[maybe_unused]] const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    const std::string native = nativePath(path);
    struct stat info {};
    if (!statusOf(native, known, info)) return false;
    const bool writable = ::access(native.c_str(), W_OK) == 0;
    // A file that is gone is not read-only: what comes next says it is gone.
    if (!writable && (errno == ENOENT || errno == ENOTDIR)) return false;
    // access() lets root write anything: a file without any write bit is
    // still meant to stay as it is.
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || !writable;
}

bool posixCopyPermissions([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to,
                          const FileIdentity* fromKnown, const FileIdentity* toKnown) {
    const std::string nativeTo = nativePath(to);
    struct stat info {};
    if (!statusOf(nativePath(from), fromKnown, info)) return false;
    // Owner first: changing it clears the set-user and set-group bits. A
    // file of this process's own user and group needs no change (the usual
    // case, and two calls fewer per file).
    struct stat now {};
    if (!statusOf(nativeTo, toKnown, now)) return false;
    bool ownerKept = now.st_uid == info.st_uid && now.st_gid == info.st_gid;
    if (!ownerKept) {
        if (::chown(nativeTo.c_str(), info.st_uid, info.st_gid) != 0)
            (void)::chown(nativeTo.c_str(), static_cast<uid_t>(-1), info.st_gid);  // the group, at least
        if (::stat(nativeTo.c_str(), &now) != 0) return false;
        ownerKept = now.st_uid == info.st_uid && now.st_gid == info.st_gid;
    }
    const mode_t mode = info.st_mode & (ownerKept ? 07777 : 0777);
    // A kept scratch file mostly has the mode already (the directory's last file's).
    if ((now.st_mode & 07777) == mode) return true;
    return ::chmod(nativeTo.c_str(), mode) == 0;
}

#if defined(__linux__) || defined(__APPLE__)
// The names of a file's extended attributes; false when they can't be listed.
bool attributeNames(const std::string& path, std::vector<std::string>& names) {
    for (int attempt = 0; attempt < 4; ++attempt) {
#ifdef __APPLE__
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0, 0);
#else
        const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
#endif
        names.clear();
        if (size < 0) return errno == ENOTSUP;  // a file system without them
        if (size == 0) return true;              // the usual case: no second call
        std::string list(static_cast<std::size_t>(size), '\0');
#ifdef __APPLE__
        const ssize_t got = ::listxattr(path.c_str(), list.data(), list.size(), 0);
#else
        const ssize_t got = ::listxattr(path.c_str(), list.data(), list.size());
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

bool attributeValue(const std::string& path, const std::string& name, std::string& value) {
    for (int attempt = 0; attempt < 4; ++attempt) {
#ifdef __APPLE__
        const ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0, 0, 0);
#else
        const ssize_t size = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
#endif
        if (size < 0) return false;
        value.assign(static_cast<std::size_t>(size), '\0');
#ifdef __APPLE__
        const ssize_t got = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0, 0);
#else
        const ssize_t got = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
#endif
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value.resize(static_cast<std::size_t>(got));
        return true;
    }
    return false;
}

bool setAttribute(const std::string& path, const std::string& name, const std::string& value) {
#ifdef __APPLE__
    return ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0, 0) == 0;
#else
    return ::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
#endif
}

bool removeAttribute(const std::string& path, const std::string& name) {
#ifdef __APPLE__
    return ::removexattr(path.c_str(), name.c_str(), 0) == 0;
#else
    return ::removexattr(path.c_str(), name.c_str()) == 0;
#endif
}

bool posixCopyAttributes([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to) {
    const std::string nativeFrom = nativePath(from), nativeTo = nativePath(to);
    std::vector<std::string> wanted, present;
    if (!attributeNames(nativeFrom, wanted) || !attributeNames(nativeTo, present)) return false;
    // What the new file got on its own (a directory's default ACL) goes first.
    for (const std::string& name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() && !removeAttribute(nativeTo, name))
            return false;
    std::string value, current;
    for (const std::string& name : wanted) {
        if (!attributeValue(nativeFrom, name, value)) return false;
        if (attributeValue(nativeTo, name, current) && current == value) continue;  // a label the system gave alike
        if (!setAttribute(nativeTo, name, value)) return false;
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
bool posixRename([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to) {
    std::string nativeFrom = nativePath(from), nativeTo = nativePath(to);
    struct stat info {};
    if (::lstat(nativeTo.c_str(), &info) == 0) return false;
    if (::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0) return true;
    return errno == EXDEV && copyAcrossDevices(self, from, to);
}

bool posixReplace([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to) {
    return ::rename(nativePath(from).c_str(), nativePath(to).c_str()) == 0;
}

bool posixExchange([[maybe_unused]] const FileSystemOps& self, [[maybe_unused]] const std::string& a,
                   [[maybe_unused]] const std::string& b) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    return ::renameat2(AT_FDCWD, nativePath(a).c_str(), AT_FDCWD, nativePath(b).c_str(), RENAME_EXCHANGE) == 0;
#elif defined(__APPLE__) && defined(RENAME_SWAP)
    return ::renamex_np(nativePath(a).c_str(), nativePath(b).c_str(), RENAME_SWAP) == 0;
#else
    return false;
#endif
}

}  // namespace

const FileSystemOps& defaultFileSystemOps() {
    static const FileSystemOps ops = {
        nullptr,
        posixExists,    posixIsLink, posixSameFile, posixIdentity, posixIdentityNoFollow, posixHandleIdentity,
        posixOpenRead,  posixCreateNew, posixCreateTruncate, posixRead,
        posixWrite,     posixClose,  posixRemove,   posixRename,
        posixReplace,   posixExchange,  posixReadOnly,  posixCopyPermissions, posixCopyAttributes,
    };
    return ops;
}

}  // namespace vimbo::platform
