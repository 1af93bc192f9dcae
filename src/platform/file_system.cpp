#include "platform/file_system.h"

namespace vimbo::platform {

FileSystemOps& fileSystem() {
    static FileSystemOps ops = defaultFileSystemOps();
    return ops;
}

void restoreDefaultOps() { fileSystem() = defaultFileSystemOps(); }

bool readWholeFile(const FileSystemOps& ops, const std::string& path, std::string& bytes) {
    const FileHandle file = ops.openRead(path);
    if (file == kNoFile) return false;
    char buffer[65536];
    std::int64_t got;
    while ((got = ops.read(file, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
    ops.close(file);
    return got == 0;
}

}  // namespace vimbo::platform
