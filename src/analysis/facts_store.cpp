#include "analysis/facts_store.h"

#include "analysis/path_parts.h"

namespace vimbo::analysis {

FactsStore::Key FactsStore::keyOf(const vimbo::platform::FileIdentity& identity, const std::string& baseName) {
    return Key{identity.device, identity.file, nameHash(baseName)};
}

std::shared_ptr<const HeaderFacts> FactsStore::factsOf(const std::string& baseName,
                                                       const vimbo::platform::FileIdentity& version) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(keyOf(version, baseName));
    return found != entries_.end() && found->second->identity == version ? found->second : nullptr;
}

bool FactsStore::versionKept(const std::string& baseName, std::uint64_t device, std::uint64_t file,
                             vimbo::platform::FileIdentity& identity) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(Key{device, file, nameHash(baseName)});
    if (found == entries_.end() || found->second->identity.device != device || found->second->identity.file != file)
        return false;
    identity = found->second->identity;
    return true;
}

std::shared_ptr<const HeaderFacts> FactsStore::remember(const std::string& baseName,
                                                        const vimbo::platform::FileIdentity& identity,
                                                        std::shared_ptr<HeaderFacts> facts) {
    facts->identity = identity;
    if (acrossRuns_ && !identity.settled) return facts;
    std::lock_guard<std::mutex> hold(lock_);
    if (acrossRuns_ && entries_.size() >= kMaxProcessEntries) entries_.clear();
    entries_[keyOf(identity, baseName)] = facts;
    return facts;
}

}  // namespace vimbo::analysis
