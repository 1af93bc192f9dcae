#include "analysis/header_cache.h"

#include "analysis/path_parts.h"

namespace vimbo::analysis {

std::shared_ptr<const HeaderFacts> HeaderCache::facts(const std::string& path, bool withControl) {
    vimbo::platform::FileIdentity identity;
    if (path.empty() || !vimbo::platform::fileSystem().identity(path, identity)) return nullptr;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    Key key{identity.device, identity.file, baseName};
    const bool keep = lifetime_ == Lifetime::run || identity.settled;
    std::shared_ptr<const HeaderFacts> knownFacts;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = entries_.find(key);
        if (keep && found != entries_.end() && found->second.identity == identity) knownFacts = found->second.facts;
    }
    const bool known = knownFacts != nullptr;
    if (known && (knownFacts->controlKnown || !withControl)) return knownFacts;

    std::string bytes;
    if (!vimbo::platform::readWholeFile(vimbo::platform::fileSystem(), path, bytes)) return nullptr;
    ++reads_;
    std::shared_ptr<const HeaderFacts> facts;
    if (known) {
        auto more = std::make_shared<HeaderFacts>(*knownFacts);
        examineControl(bytes, *more);
        facts = std::move(more);
    } else {
        facts = std::make_shared<const HeaderFacts>(examineHeader(bytes, baseName, withControl));
    }
    if (!keep) return facts;
    std::lock_guard<std::mutex> hold(lock_);
    if (lifetime_ == Lifetime::process && entries_.size() >= kMaxProcessEntries) entries_.clear();
    entries_[std::move(key)] = Entry{identity, facts};
    return facts;
}

void HeaderCache::learn(const std::string& path, const std::string& bytes) {
    vimbo::platform::FileIdentity identity;
    if (lifetime_ != Lifetime::run || !vimbo::platform::fileSystem().identity(path, identity)) return;
    if (identity.size != bytes.size()) return;  // not the text written after all
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    auto facts = std::make_shared<const HeaderFacts>(examineHeader(bytes, baseName, true));
    std::lock_guard<std::mutex> hold(lock_);
    entries_[Key{identity.device, identity.file, baseName}] = Entry{identity, facts};
}

bool HeaderCache::known(const Memo& memo, const std::string& key, std::string& value) {
    if (lifetime_ != Lifetime::run) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = memo.find(key);
    if (found == memo.end()) return false;
    value = found->second;
    return true;
}

void HeaderCache::remember(Memo& memo, const std::string& key, const std::string& value) {
    if (lifetime_ != Lifetime::run) return;
    std::lock_guard<std::mutex> hold(lock_);
    memo.emplace(key, value);
}

}  // namespace vimbo::analysis
