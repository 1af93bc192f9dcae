#include "analysis/header_cache.h"

#include "analysis/path_parts.h"

namespace vimbo::analysis {

bool HeaderCache::identityOf(const std::string& path, vimbo::platform::FileIdentity& identity) {
    std::uint64_t generation = 0;
    if (lifetime_ == Lifetime::run && versions_.known(path, identity, generation)) return true;
    if (!fs_.identity(path, identity)) return false;
    if (lifetime_ == Lifetime::run) versions_.lookedUp(path, identity, generation);
    return true;
}

bool HeaderCache::knownVersion(const std::string& path, vimbo::platform::FileIdentity& identity) {
    return lifetime_ == Lifetime::run && versions_.knownVersion(path, identity);
}

std::uint64_t HeaderCache::includeWordEnd(const std::string& path, const vimbo::platform::FileIdentity& version) {
    const std::shared_ptr<const HeaderFacts> facts = facts_.factsOf(upperCaseAscii(splitPath(path).baseName), version);
    return facts ? facts->includeWordEnd : HeaderFacts::kUnknownOffset;
}

vimbo::platform::FileIdentity HeaderCache::aboutToRewrite(const std::string& path,
                                                          const vimbo::platform::FileIdentity* read) {
    vimbo::platform::FileIdentity identity;
    if (versions_.aboutToRewrite(path, identity)) return identity;
    if (read) return *read;
    if (!fs_.identity(path, identity)) identity = vimbo::platform::FileIdentity{};
    return identity;
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
    const std::uint64_t before = versions_.rewriteCount();
    return vimbo::platform::readWholeFileWithin(fs_, path, bytes, maxFileSize_, &identity, named,
                                                [&] { return versions_.rewriteCount() == before; });
}

std::shared_ptr<const HeaderFacts> HeaderCache::facts(const std::string& path, bool withControl) {
    vimbo::platform::FileIdentity identity;
    const std::uint64_t generation = lifetime_ == Lifetime::run ? versions_.rewriteCount() : 0;
    if (path.empty() || !identityOf(path, identity)) return nullptr;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    std::shared_ptr<const HeaderFacts> knownFacts;
    if (lifetime_ == Lifetime::run || identity.settled) knownFacts = facts_.factsOf(baseName, identity);
    if (knownFacts && (knownFacts->controlKnown || !withControl)) return knownFacts;
    if (!knownFacts && lifetime_ == Lifetime::run)
        if (std::shared_ptr<HeaderFacts> carried = versions_.carriedTo(path, identity))
            return facts_.remember(baseName, identity, std::move(carried));

    // The file may be replaced between the look above and the read: the
    // facts are those of the version read, and kept under its identity.
    std::string bytes;
    const vimbo::platform::FileIdentity named = identity;
    // Within a run only its own rewrites change files: with none since the
    // name was looked up, the file is the version it was looked up as.
    const bool asNamed = lifetime_ == Lifetime::run &&
                         vimbo::platform::readKnownVersion(fs_, path, bytes, named, maxFileSize_) &&
                         versions_.quietSince(generation);
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
    return facts_.remember(baseName, identity, std::move(facts));
}

void HeaderCache::carryFacts(const std::string& path, const vimbo::platform::FileIdentity& read,
                             const vimbo::platform::FileIdentity& now, std::uint64_t wrapsFrom, std::uint64_t wrapsTo) {
    if (lifetime_ == Lifetime::run) versions_.carryFacts(path, read, now, wrapsFrom, wrapsTo);
}

std::shared_ptr<const HeaderFacts> HeaderCache::factsWithUses(const std::string& path, MacroUses& uses,
                                                              std::uint64_t* tooLarge) {
    std::string bytes;
    vimbo::platform::FileIdentity identity;
    const vimbo::platform::ReadResult read =
        path.empty() ? vimbo::platform::ReadResult::failed : readVersion(path, bytes, identity, nullptr);
    versions_.indexed();
    if (read == vimbo::platform::ReadResult::tooLarge && tooLarge) *tooLarge = identity.size;
    if (read != vimbo::platform::ReadResult::read) return nullptr;
    ++reads_;
    const std::string baseName = upperCaseAscii(splitPath(path).baseName);
    return facts_.remember(baseName, identity, std::make_shared<HeaderFacts>(examineHeader(bytes, baseName, true, &uses)));
}

}  // namespace vimbo::analysis
