#include "analysis/file_versions.h"

#include <algorithm>

#include "analysis/path_parts.h"
#include "analysis/path_spelling.h"

namespace vimbo::analysis {

void FileVersions::indexed() {
    std::lock_guard<std::mutex> hold(lock_);
    indexed_ = true;
}

void FileVersions::useRunFiles(const RunFiles* files) {
    std::lock_guard<std::mutex> hold(lock_);
    runFiles_ = files;
}

bool FileVersions::reachedFromAnotherDirectory(const std::string& path) const {
    // Without the lock: the index is handed over before the jobs start.
    return runFiles_ && runFiles_->reachedFromAnotherDirectory(path);
}

bool FileVersions::known(const std::string& path, vimbo::platform::FileIdentity& identity,
                         std::uint64_t& generation) {
    std::lock_guard<std::mutex> hold(lock_);
    if (remembered(path, identity, true)) return true;
    generation = rewrites_;
    return false;
}

bool FileVersions::knownVersion(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::lock_guard<std::mutex> hold(lock_);
    return remembered(path, identity, false);
}

void FileVersions::lookedUp(const std::string& path, const vimbo::platform::FileIdentity& identity,
                            std::uint64_t generation) {
    std::lock_guard<std::mutex> hold(lock_);
    if (indexed_ && generation == rewrites_) know(path, identity);
}

bool FileVersions::remembered(const std::string& path, vimbo::platform::FileIdentity& identity, bool keep) {
    const auto found = known_.find(path);
    if (found != known_.end()) {
        identity = found->second;
        return true;
    }
    if (!fromRunFiles(path, identity)) return false;
    if (keep) know(path, identity);
    return true;
}

bool FileVersions::fromRunFiles(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::uint64_t device, file;
    if (!runFiles_ || allRetired_ || !runFiles_->readAs(path, device, file) || retired_.count({device, file}))
        return false;
    // The facts the index read hold that version's identity.
    return facts_.versionKept(upperCaseAscii(splitPath(path).baseName), device, file, identity);
}

void FileVersions::know(const std::string& path, const vimbo::platform::FileIdentity& identity) {
    const auto [entry, added] = known_.emplace(path, identity);
    if (added) namesOf_[{identity.device, identity.file}].push_back(&entry->first);
}

bool FileVersions::aboutToRewrite(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::lock_guard<std::mutex> hold(lock_);
    ++rewrites_;
    ++inFlight_;
    const auto found = known_.find(path);
    if (found == known_.end()) return false;
    identity = found->second;
    return true;
}

void FileVersions::rewritten(const std::string& path, const vimbo::platform::FileIdentity& old) {
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

std::uint64_t FileVersions::rewriteCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return rewrites_;
}

bool FileVersions::quietSince(std::uint64_t generation) {
    std::lock_guard<std::mutex> hold(lock_);
    return rewrites_ == generation && inFlight_ == 0;
}

void FileVersions::carryFacts(const std::string& path, const vimbo::platform::FileIdentity& read,
                              const vimbo::platform::FileIdentity& now, std::uint64_t wrapsFrom,
                              std::uint64_t wrapsTo) {
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    std::string name = plainSpelling(path);
    std::lock_guard<std::mutex> hold(lock_);
    std::shared_ptr<const HeaderFacts> facts = facts_.factsOf(baseName, read);
    if (facts && facts->unchangedByWrapsIn(wrapsFrom, wrapsTo)) carried_[std::move(name)] = Carried{now, std::move(facts)};
}

std::shared_ptr<HeaderFacts> FileVersions::carriedTo(const std::string& path,
                                                     const vimbo::platform::FileIdentity& identity) {
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

}  // namespace vimbo::analysis
