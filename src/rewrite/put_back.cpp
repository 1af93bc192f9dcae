// Putting a kept original back where a run put its rewrite (--verify's
// undo): through the directories held, in one step, and only over the
// version the run itself left there.
#include "analysis/path_parts.h"
#include "platform/file_system.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::engine {
namespace {

std::string directoryOf(const std::string& path) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(path);
    return parts.drive + parts.directory;
}

FileVersion versionOf(const vimbo::platform::FileIdentity& identity) {
    return {identity.device, identity.file, identity.size, identity.modified, identity.changed};
}

}  // namespace

bool fileVersion(const std::string& path, FileVersion& version) {
    vimbo::platform::FileIdentity identity;
    if (!vimbo::platform::defaultFileSystemOps().identityNoFollow(path, identity)) return false;
    version = versionOf(identity);
    return true;
}

PutBack putBack(const std::string& path, const std::string& original, const FileVersion& written,
                const DirectoryIdentity& directory) {
    const vimbo::platform::FileSystemOps& system = vimbo::platform::defaultFileSystemOps();
    vimbo::platform::HeldDirectory here(system, directoryOf(path), &directory);
    if (!here.held()) return PutBack::changed;
    vimbo::platform::HeldDirectory store(system, directoryOf(original), nullptr);
    if (!store.held()) return PutBack::failed;
    vimbo::platform::FileIdentity now;
    if (!here.ops().identityNoFollow(path, now) || !(versionOf(now) == written)) return PutBack::changed;
    switch (here.exchangeWith(store, path, original)) {
        case vimbo::platform::Exchange::swapped: {
            // What the swap took away must be the run's own version (the
            // swap sets its change time): one saved in the moment before goes back.
            vimbo::platform::FileIdentity away;
            if (store.ops().identityNoFollow(original, away) && away.device == written.device &&
                away.file == written.file && away.size == written.size && away.modified == written.modified)
                return PutBack::done;
            return here.exchangeWith(store, path, original) == vimbo::platform::Exchange::swapped ? PutBack::changed
                                                                                                 : PutBack::failed;
        }
        case vimbo::platform::Exchange::failed:
            return here.ops().exists(path) || here.ops().isLink(path) ? PutBack::failed : PutBack::changed;
        case vimbo::platform::Exchange::unsupported:
            break;
    }
    return PutBack::failed;
}

}  // namespace vimbo::engine
