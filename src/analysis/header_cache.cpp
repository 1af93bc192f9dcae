#include "analysis/header_cache.h"

#include "analysis/path_parts.h"

namespace vimbo::analysis {
namespace {
bool readWhole(const std::string& path, std::string& bytes) {
    auto& fs = vimbo::platform::fileSystem();
    const vimbo::platform::FileHandle file = fs.openRead(path);
    if (file == vimbo::platform::kNoFile) return false;
    char buffer[65536];
    std::int64_t got;
    while ((got = fs.read(file, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
    fs.close(file);
    return got == 0;
}
}  // namespace

std::shared_ptr<const HeaderFacts> HeaderCache::facts(const std::string& path) {
    vimbo::platform::FileIdentity identity;
    if (path.empty() || !vimbo::platform::fileSystem().identity(path, identity)) return nullptr;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    Key key{identity.device, identity.file, baseName};
    auto found = entries_.find(key);
    if (found != entries_.end() && found->second.identity == identity) return found->second.facts;

    std::string bytes;
    if (!readWhole(path, bytes)) return nullptr;
    ++reads_;
    auto facts = std::make_shared<const HeaderFacts>(examineHeader(bytes, baseName));
    entries_[std::move(key)] = Entry{identity, facts};
    return facts;
}

}  // namespace vimbo::analysis
