#include "platform/file_system.h"

namespace vimbo::platform {

FileSystemOps& fileSystem() {
    static FileSystemOps ops = defaultFileSystemOps();
    return ops;
}

void restoreDefaultOps() { fileSystem() = defaultFileSystemOps(); }

}  // namespace vimbo::platform
