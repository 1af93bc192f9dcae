// Win32 file system calls behind the operations table. Paths are handed to
// the ANSI functions as written: Windows takes "\\" and "/" alike.
#include "platform/file_system.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace vimbo::platform {

std::string nativePath(const std::string& path) { return path; }

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle fromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

bool win32Exists([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool win32IsLink([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return ok;
}

bool win32SameFile([[maybe_unused]] const FileSystemOps& self, const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION infoA{}, infoB{};
    if (!fileIdentity(a, infoA) || !fileIdentity(b, infoB)) return false;
    return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

bool identityOf(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity& identity) {
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    identity.device = info.dwVolumeSerialNumber;
    identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.links = info.nNumberOfLinks;
    identity.mode = info.dwFileAttributes;
    identity.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t nowTicks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    // Two seconds (in 100 ns ticks) cover FAT's time stamps.
    identity.settled = nowTicks - identity.modified > 20000000;
    return true;
}

// The identity of an open file, with the time of its last change of any kind.
bool handleIdentity(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(handle, &info) || !identityOf(info, identity)) return false;
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        identity.changed = basic.ChangeTime.QuadPart;
    return true;
}

bool win32Identity([[maybe_unused]] const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    HANDLE handle = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = handleIdentity(handle, identity);
    CloseHandle(handle);
    return ok;
}

bool win32IdentityNoFollow(const FileSystemOps& self, const std::string& path, FileIdentity& identity) {
    return !win32IsLink(self, path) && win32Identity(self, path, identity);
}

bool win32HandleIdentity([[maybe_unused]] const FileSystemOps& self, FileHandle file, FileIdentity& identity) {
    return handleIdentity(toHandle(file), identity);
}

// Keeps the handle only for a file on disk: devices (CON, NUL, COM1) and
// pipes could block or never end.
FileHandle keepDiskFile(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return kNoFile;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return kNoFile;
    }
    return fromHandle(handle);
}

// A known version spares nothing here: the open's own checks are free.
FileHandle win32OpenRead([[maybe_unused]] const FileSystemOps& self, const std::string& path,
                         [[maybe_unused]] const FileIdentity* known) {
    return keepDiskFile(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileHandle win32CreateNew([[maybe_unused]] const FileSystemOps& self, const std::string& path) {
    return keepDiskFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle win32CreateTruncate([[maybe_unused]] const FileSystemOps& self, const std::string& path,
                               const FileIdentity* expected) {
    // Truncate only once the target is known to be a file on disk (and, when
    // one is expected, that very file with no other name).
    FileHandle file = keepDiskFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                               expected ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
    FileIdentity now;
    if (file != kNoFile && expected && !(handleIdentity(toHandle(file), now) && now.isAloneAs(*expected))) {
        CloseHandle(toHandle(file));
        return kNoFile;
    }
    if (file != kNoFile && !SetEndOfFile(toHandle(file))) {
        CloseHandle(toHandle(file));
        return kNoFile;
    }
    return file;
}

FileHandle win32OpenOverwrite([[maybe_unused]] const FileSystemOps& self, const std::string& path,
                              const FileIdentity& expected) {
    FileHandle file = keepDiskFile(
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FileIdentity now;
    if (file != kNoFile && !(handleIdentity(toHandle(file), now) && now.isAloneAs(expected) &&
                             now.size == expected.size && now.modified == expected.modified)) {
        CloseHandle(toHandle(file));
        return kNoFile;
    }
    return file;
}

bool win32SetSize([[maybe_unused]] const FileSystemOps& self, FileHandle file, std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(toHandle(file), at, nullptr, FILE_BEGIN) && SetEndOfFile(toHandle(file));
}

std::int64_t win32Read([[maybe_unused]] const FileSystemOps& self, FileHandle file, char* buffer, std::size_t size) {
    DWORD got = 0;
    DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(toHandle(file), buffer, want, &got, nullptr))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

bool win32Write([[maybe_unused]] const FileSystemOps& self, FileHandle file, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD put = 0;
        DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!WriteFile(toHandle(file), data, want, &put, nullptr) || put == 0) return false;
        data += put;
        size -= put;
    }
    return true;
}

bool win32Close([[maybe_unused]] const FileSystemOps& self, FileHandle file) { return CloseHandle(toHandle(file)) != 0; }

bool win32Remove([[maybe_unused]] const FileSystemOps& self, const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

// The scratch file lies in the current directory, which need not be on the
// target's volume: a copy is allowed where a plain rename cannot go.
bool win32Rename([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

// A file that another thread (or a virus scanner) has open for a moment
// cannot be replaced until it is closed: such refusals are tried again.
bool win32Replace([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) return false;
        Sleep(10);
    }
}

// Windows has no call that swaps two names in one step.
Exchange win32Exchange([[maybe_unused]] const FileSystemOps& self, [[maybe_unused]] const std::string& a,
                       [[maybe_unused]] const std::string& b) {
    return Exchange::unsupported;
}

bool win32ReadOnly([[maybe_unused]] const FileSystemOps& self, const std::string& path, const FileIdentity* known) {
    DWORD attributes = known ? static_cast<DWORD>(known->mode) : GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The attributes a user sets on a file; access rights come with the
// directory the new file is created in, as for any file saved there.
bool win32CopyPermissions([[maybe_unused]] const FileSystemOps& self, const std::string& from, const std::string& to,
                          const FileIdentity* fromKnown, [[maybe_unused]] const FileIdentity* toKnown) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD attributes = fromKnown ? static_cast<DWORD>(fromKnown->mode) : GetFileAttributesA(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    attributes &= kKept;
    return SetFileAttributesA(to.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

// Files carry no extended attributes here that a rewrite could drop: access
// rights come from the directory (above), as for any file saved there.
bool win32CopyAttributes(const FileSystemOps&, const std::string&, const std::string&) { return true; }

bool win32Sync([[maybe_unused]] const FileSystemOps& self, FileHandle file) {
    return FlushFileBuffers(toHandle(file)) != 0;
}

// Flushing a whole volume takes an administrator: each file is flushed by
// itself, and the renames write through (MOVEFILE_WRITE_THROUGH).
bool win32SyncFileSystem(const FileSystemOps&, const std::string&) { return true; }

}  // namespace

const FileSystemOps& defaultFileSystemOps() {
    static const FileSystemOps ops = {
        nullptr,
        win32Exists,    win32IsLink, win32SameFile, win32Identity, win32IdentityNoFollow, win32HandleIdentity,
        win32OpenRead,  win32CreateNew, win32CreateTruncate, win32OpenOverwrite, win32SetSize, win32Read,
        win32Write,     win32Close,  win32Remove,   win32Rename,
        win32Replace,   win32Exchange,  win32ReadOnly,  win32CopyPermissions, win32CopyAttributes,
        win32Sync,      win32SyncFileSystem, false,
    };
    return ops;
}

}  // namespace vimbo::platform

namespace vimbo::engine {

bool directoryIdentity(const std::string& path, DirectoryIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!vimbo::platform::fileIdentity(path.empty() ? "." : path, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return false;
    identity.device = info.dwVolumeSerialNumber;
    identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool nameFitsPaths([[maybe_unused]] const std::string& name) {
    return !name.empty();
}

}  // namespace vimbo::engine

namespace vimbo::platform {

// Windows has no calls relative to an open directory: a directory is
// checked to be the one expected, and its names reached by path.
HeldDirectory::HeldDirectory(const FileSystemOps& below, const std::string& directory,
                             const DirectoryIdentity* expected, bool)
    : ops_(below) {
    DirectoryIdentity now;
    held_ = below.context || !expected || (vimbo::engine::directoryIdentity(directory, now) && now == *expected);
}

HeldDirectory::~HeldDirectory() = default;

bool HeldDirectory::moveHere(const HeldDirectory&, const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

Exchange HeldDirectory::exchangeWith(const HeldDirectory&, const std::string&, const std::string&) {
    return Exchange::unsupported;
}

// Another run's files in the directory are told apart by their names alone here.
bool HeldDirectory::lock(bool) { return true; }
void HeldDirectory::unlock() {}

}  // namespace vimbo::platform
