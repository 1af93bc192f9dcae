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

bool HeaderCache::knownLookup(const std::string& key, std::string& path) {
    if (lifetime_ != Lifetime::run) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = lookups_.find(key);
    if (found == lookups_.end()) return false;
    path = found->second;
    return true;
}

void HeaderCache::rememberLookup(const std::string& key, const std::string& path) {
    if (lifetime_ != Lifetime::run) return;
    std::lock_guard<std::mutex> hold(lock_);
    lookups_.emplace(key, path);
}

bool HeaderCache::knownVerdict(const std::string& key, std::string& verdict) {
    if (lifetime_ != Lifetime::run) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = verdicts_.find(key);
    if (found == verdicts_.end()) return false;
    verdict = found->second;
    return true;
}

void HeaderCache::rememberVerdict(const std::string& key, const std::string& verdict) {
    if (lifetime_ != Lifetime::run) return;
    std::lock_guard<std::mutex> hold(lock_);
    verdicts_.emplace(key, verdict);
}

}  // namespace vimbo::analysis
