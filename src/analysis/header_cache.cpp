#include "analysis/header_cache.h"

#include <algorithm>

#include "analysis/path_parts.h"
#include "analysis/path_spelling.h"

namespace vimbo::analysis {

HeaderCache::Key HeaderCache::keyOf(const vimbo::platform::FileIdentity& identity, const std::string& baseName) {
    return Key{identity.device, identity.file, nameHash(baseName)};
}

bool HeaderCache::identityOf(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::uint64_t generation = 0;
    if (lifetime_ == Lifetime::run) {
        std::lock_guard<std::mutex> hold(lock_);
        if (remembered(path, identity)) return true;
        generation = rewrites_;
    }
    if (!fs_.identity(path, identity)) return false;
    if (lifetime_ == Lifetime::run) {
        std::lock_guard<std::mutex> hold(lock_);
        // A file rewritten meanwhile may be the one looked up, as it was before.
        if (indexed_ && generation == rewrites_) know(path, identity);
    }
    return true;
}

bool HeaderCache::knownVersion(const std::string& path, vimbo::platform::FileIdentity& identity) {
    if (lifetime_ != Lifetime::run) return false;
    std::lock_guard<std::mutex> hold(lock_);
    // Not remembered by name here: every file of the run is asked for once,
    // and a tree of several hundred thousand names would hold them all.
    return remembered(path, identity, false);
}

std::uint64_t HeaderCache::includeWordEnd(const std::string& path, const vimbo::platform::FileIdentity& version) {
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    std::lock_guard<std::mutex> hold(lock_);
    const std::shared_ptr<const HeaderFacts> facts = factsOf(baseName, version);
    return facts ? facts->includeWordEnd : HeaderFacts::kUnknownOffset;
}

std::shared_ptr<const HeaderFacts> HeaderCache::factsOf(const std::string& baseName,
                                                        const vimbo::platform::FileIdentity& version) const {
    const auto found = entries_.find(keyOf(version, baseName));
    return found != entries_.end() && found->second->identity == version ? found->second : nullptr;
}

bool HeaderCache::remembered(const std::string& path, vimbo::platform::FileIdentity& identity, bool keep) {
    const auto found = known_.find(path);
    if (found != known_.end()) {
        identity = found->second;
        return true;
    }
    if (!fromRunFiles(path, identity)) return false;
    if (keep) know(path, identity);
    return true;
}

void HeaderCache::useRunFiles(const RunFiles* files) {
    std::lock_guard<std::mutex> hold(lock_);
    runFiles_ = files;
}

bool HeaderCache::fromRunFiles(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::uint64_t device, file;
    if (!runFiles_ || allRetired_ || !runFiles_->readAs(path, device, file) || retired_.count({device, file}))
        return false;
    // The facts the index read hold that version's identity.
    const auto found = entries_.find(Key{device, file, nameHash(upperCaseAscii(splitPath(path).baseName))});
    if (found == entries_.end() || found->second->identity.device != device || found->second->identity.file != file)
        return false;
    identity = found->second->identity;
    return true;
}

void HeaderCache::know(const std::string& path, const vimbo::platform::FileIdentity& identity) {
    const auto [entry, added] = known_.emplace(path, identity);
    if (added) namesOf_[{identity.device, identity.file}].push_back(&entry->first);
}

vimbo::platform::FileIdentity HeaderCache::aboutToRewrite(const std::string& path,
                                                          const vimbo::platform::FileIdentity* read) {
    vimbo::platform::FileIdentity identity;
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++rewrites_;
        ++inFlight_;
        const auto found = known_.find(path);
        if (found != known_.end()) return found->second;
    }
    if (read) return *read;
    if (!fs_.identity(path, identity)) identity = vimbo::platform::FileIdentity{};
    return identity;
}

void HeaderCache::rewritten(const std::string& path, const vimbo::platform::FileIdentity& old) {
    std::lock_guard<std::mutex> hold(lock_);
    ++rewrites_;
    if (inFlight_ > 0) --inFlight_;
    // An old version not known: any name may stand for the file.
    if (old.device == 0 && old.file == 0) {
        allRetired_ = true;
        known_.clear();
        namesOf_.clear();
        return;
    }
    retired_.insert({old.device, old.file});
    // The name itself, whatever version it was last known as.
    const auto self = known_.find(path);
    if (self != known_.end()) {
        const auto list = namesOf_.find({self->second.device, self->second.file});
        if (list != namesOf_.end()) {
            auto& names = list->second;
            names.erase(std::remove(names.begin(), names.end(), &self->first), names.end());
            if (names.empty()) namesOf_.erase(list);
        }
        known_.erase(self);
    }
    const auto names = namesOf_.find({old.device, old.file});
    if (names == namesOf_.end()) return;
    for (const std::string* name : names->second) known_.erase(known_.find(*name));
    namesOf_.erase(names);
}

vimbo::platform::ReadResult HeaderCache::readVersion(const std::string& path, std::string& bytes,
                                                     vimbo::platform::FileIdentity& identity,
                                                     const vimbo::platform::FileIdentity* named) {
    // Files outside this process may change at any time: read, they are
    // looked at again.
    if (lifetime_ != Lifetime::run)
        return vimbo::platform::readWholeFileWithin(fs_, path, bytes, maxFileSize_, &identity, named);
    // Within a run only the run's own rewrites write into files that were
    // read (the version a swap leaves behind is written again): when none
    // happened during the read, the bytes are those of the version opened.
    const std::uint64_t before = rewriteCount();
    return vimbo::platform::readWholeFileWithin(fs_, path, bytes, maxFileSize_, &identity, named,
                                                [&] { return rewriteCount() == before; });
}

bool HeaderCache::quietSince(std::uint64_t generation) {
    std::lock_guard<std::mutex> hold(lock_);
    return rewrites_ == generation && inFlight_ == 0;
}

std::uint64_t HeaderCache::rewriteCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return rewrites_;
}

std::shared_ptr<const HeaderFacts> HeaderCache::facts(const std::string& path, bool withControl) {
    vimbo::platform::FileIdentity identity;
    const std::uint64_t generation = lifetime_ == Lifetime::run ? rewriteCount() : 0;
    if (path.empty() || !identityOf(path, identity)) return nullptr;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    std::shared_ptr<const HeaderFacts> knownFacts;
    if (lifetime_ == Lifetime::run || identity.settled) {
        std::lock_guard<std::mutex> hold(lock_);
        knownFacts = factsOf(baseName, identity);
    }
    if (knownFacts && (knownFacts->controlKnown || !withControl)) return knownFacts;
    if (!knownFacts)
        if (std::shared_ptr<HeaderFacts> carried = carriedTo(path, identity))
            return remember(baseName, identity, std::move(carried));

    // The file may be replaced between the look above and the read: the
    // facts are those of the version read, and kept under its identity.
    std::string bytes;
    const vimbo::platform::FileIdentity named = identity;
    // Within a run only its own rewrites change files: with none since the
    // name was looked up, the file is the version it was looked up as.
    const bool asNamed = lifetime_ == Lifetime::run &&
                         vimbo::platform::readKnownVersion(fs_, path, bytes, named, maxFileSize_) &&
                         quietSince(generation);
    if (!asNamed) {
        bytes.clear();
        if (readVersion(path, bytes, identity, &named) != vimbo::platform::ReadResult::read) return nullptr;
    }
    ++reads_;
    std::shared_ptr<HeaderFacts> facts;
    if (knownFacts && knownFacts->identity == identity) {
        facts = std::make_shared<HeaderFacts>(*knownFacts);
        examineControl(bytes, *facts);
    } else {
        facts = std::make_shared<HeaderFacts>(examineHeader(bytes, baseName, withControl));
    }
    return remember(baseName, identity, std::move(facts));
}

void HeaderCache::carryFacts(const std::string& path, const vimbo::platform::FileIdentity& read,
                             const vimbo::platform::FileIdentity& now, std::uint64_t wrapsFrom, std::uint64_t wrapsTo) {
    if (lifetime_ != Lifetime::run) return;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    std::string name = plainSpelling(path);
    std::lock_guard<std::mutex> hold(lock_);
    std::shared_ptr<const HeaderFacts> facts = factsOf(baseName, read);
    if (facts && facts->unchangedByWrapsIn(wrapsFrom, wrapsTo)) carried_[std::move(name)] = Carried{now, std::move(facts)};
}

std::shared_ptr<HeaderFacts> HeaderCache::carriedTo(const std::string& path,
                                                    const vimbo::platform::FileIdentity& identity) {
    if (lifetime_ != Lifetime::run) return nullptr;
    const std::string name = plainSpelling(path);
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = carried_.find(name);
    if (found == carried_.end()) return nullptr;
    const vimbo::platform::FileIdentity& now = found->second.now;
    if (now.device != identity.device || now.file != identity.file || now.size != identity.size) return nullptr;
    auto facts = std::make_shared<HeaderFacts>(*found->second.facts);
    // Taken once: they are then kept under the new version's identity.
    carried_.erase(found);
    // Its offsets were those of the old text.
    facts->includeWordEnd = facts->discoveryEnd = HeaderFacts::kUnknownOffset;
    facts->insideFrom = facts->insideTo = 0;
    return facts;
}

std::shared_ptr<const HeaderFacts> HeaderCache::factsWithUses(const std::string& path, MacroUses& uses,
                                                              std::uint64_t* tooLarge) {
    std::string bytes;
    vimbo::platform::FileIdentity identity;
    const vimbo::platform::ReadResult read =
        path.empty() ? vimbo::platform::ReadResult::failed : readVersion(path, bytes, identity, nullptr);
    {
        std::lock_guard<std::mutex> hold(lock_);
        indexed_ = true;
    }
    if (read == vimbo::platform::ReadResult::tooLarge && tooLarge) *tooLarge = identity.size;
    if (read != vimbo::platform::ReadResult::read) return nullptr;
    ++reads_;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    return remember(baseName, identity, std::make_shared<HeaderFacts>(examineHeader(bytes, baseName, true, &uses)));
}

std::shared_ptr<const HeaderFacts> HeaderCache::remember(const std::string& baseName,
                                                         const vimbo::platform::FileIdentity& identity,
                                                         std::shared_ptr<HeaderFacts> facts) {
    facts->identity = identity;
    if (lifetime_ == Lifetime::process && !identity.settled) return facts;
    std::lock_guard<std::mutex> hold(lock_);
    if (lifetime_ == Lifetime::process && entries_.size() >= kMaxProcessEntries) entries_.clear();
    entries_[keyOf(identity, baseName)] = facts;
    return facts;
}

std::uint32_t HeaderCache::contextNumber(const std::string& context) {
    std::lock_guard<std::mutex> hold(contextsLock_);
    return contexts_.emplace(context, static_cast<std::uint32_t>(contexts_.size())).first->second;
}

bool HeaderCache::known(Memo& memo, const std::string& key, std::string& value) {
    if (lifetime_ != Lifetime::run) return false;
    std::lock_guard<std::mutex> hold(memo.lock);
    const auto found = memo.values.find(key);
    if (found == memo.values.end()) return false;
    value = found->second;
    return true;
}

void HeaderCache::remember(Memo& memo, const std::string& key, const std::string& value) {
    if (lifetime_ != Lifetime::run) return;
    std::lock_guard<std::mutex> hold(memo.lock);
    memo.values.emplace(key, value);
}

}  // namespace vimbo::analysis
