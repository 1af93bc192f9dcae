#include "analysis/run_index.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

#include "analysis/header_finder.h"
#include "analysis/path_parts.h"
#include "analysis/path_spelling.h"
#include "platform/file_system.h"
#include "vimbo/engine/worker_threads.h"

namespace vimbo::analysis {
namespace {

// Where a name's quoted includes are found from: its directory, resolved.
std::string canonicalDirectoryOf(const std::string& path) {
    const PathParts parts = splitPath(path);
    const std::string directory = parts.drive + parts.directory;
    return vimbo::platform::canonicalPath(directory.empty() ? "." : directory);
}
// A name as compared with the names includes give: file name and extension.
std::string fileNameOf(const std::string& path) {
    const PathParts parts = splitPath(path);
    return parts.baseName + parts.extension;
}

}  // namespace

void RunIndex::build(HeaderCache& cache, const std::vector<std::string>& files, unsigned jobs,
                     std::vector<std::pair<std::string, std::uint64_t>>* linked,
                     std::vector<UnindexedFile>* unindexed, const LookupsOf& lookupsOf) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> broken{false};
    std::mutex lock;
    std::vector<std::pair<std::size_t, std::uint64_t>> leftOut;
    std::vector<UnindexedFile> unread;
    const auto note = [&](UnindexedFile file) {
        std::lock_guard<std::mutex> hold(lock);
        unread.push_back(std::move(file));
    };
    const auto work = [&] {
        for (std::size_t i; !broken && (i = next++) < files.size();) {
            MacroUses uses;
            std::shared_ptr<const HeaderFacts> facts;
            std::string canonical;
            std::uint64_t links = 1;
            try {
                std::uint64_t tooLarge = 0;
                facts = cache.factsWithUses(files[i], uses, &tooLarge);
                if (tooLarge > 0) {
                    note({i, tooLarge, nullptr});
                    continue;
                }
                links = facts ? facts->identity.links : 1;
                // A file that can't be read still has its links counted.
                vimbo::platform::FileIdentity unreadable;
                if (!facts && linked && cache.fileSystem().identity(files[i], unreadable)) links = unreadable.links;
                if (facts && !(linked && links > 1)) canonical = canonicalPaths_.of(files[i]);
            } catch (...) {
                // The one file is left out of the run as a failure; the others go on.
                try {
                    note({i, 0, std::current_exception()});
                    continue;
                } catch (...) {
                }
                broken = true;
                throw;
            }
            std::lock_guard<std::mutex> hold(lock);
            try {
                if (linked && links > 1) leftOut.emplace_back(i, links);
                else if (facts) add(files[i], canonical, *facts, uses);
            } catch (...) {
                // Half added, the index can't be trusted: no file is rewritten.
                broken = true;
                throw;
            }
        }
    };
    // The first exception a job lets out comes back from here, once all have stopped.
    vimbo::engine::runOnThreads(std::max(1u, jobs), files.size(), work);
    if (unindexed) {
        std::sort(unread.begin(), unread.end(),
                  [](const UnindexedFile& a, const UnindexedFile& b) { return a.index < b.index; });
        *unindexed = std::move(unread);
    }
    std::sort(leftOut.begin(), leftOut.end());
    for (const auto& [i, links] : leftOut) linked->emplace_back(files[i], links);
    std::sort(named_.begin(), named_.end());
    named_.shrink_to_fit();
    listedRead_ = true;
    if (lookupsOf) follow(cache, lookupsOf);
    includes_.clear();
    includes_.shrink_to_fit();
    includesFrom_.clear();
    includesFrom_.shrink_to_fit();
    includeNames_.clear();
    versions_.shrink_to_fit();
    cache.useRunFiles(this);
    std::sort(definitions_.begin(), definitions_.end());
    definitions_.erase(std::unique(definitions_.begin(), definitions_.end()), definitions_.end());
    // One file under two names: the build records each name it is reached by.
    {
        std::vector<std::pair<std::string, std::string>> names;
        for (std::uint32_t file = 0; file < versions_.size(); ++file)
            names.emplace_back(canonicals_[file], plainSpelling(paths_[file]));
        std::sort(names.begin(), names.end());
        for (std::size_t i = 1; i < names.size(); ++i)
            if (names[i].first == names[i - 1].first && names[i].second != names[i - 1].second)
                severalNames_.insert(names[i].first);
    }
    // The order files finish in must not matter.
    for (auto& [guard, owners] : owners_)
        std::sort(owners.begin(), owners.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return paths_[a] < paths_[b]; });
}

void RunIndex::add(const std::string& path, const std::string& canonical, const HeaderFacts& facts,
                   const MacroUses& uses, bool listed) {
    const std::uint32_t file = canonicals_.add(canonical);
    paths_.add(path);
    if (listed) named_.push_back(definition(plainSpelling(path), file));
    includesFrom_.push_back(static_cast<std::uint32_t>(includes_.size()));
    for (std::size_t i = 0; i < uses.included.size() && i < uses.includedQuoted.size(); ++i)
        includes_.push_back(includeNames_.of(uses.included[i]) * 2 + (uses.includedQuoted[i] ? 1 : 0));
    versions_.emplace_back(facts.identity.device, facts.identity.file);
    if (facts.definesGuard) {
        std::vector<std::uint32_t>& owners = owners_[std::string(facts.controllingMacro())];
        // The same file under two names is one header.
        if (std::none_of(owners.begin(), owners.end(), [&](std::uint32_t o) { return canonicals_.equals(o, canonical); }))
            owners.push_back(file);
    }
    for (const std::string& macro : uses.defined)
        if (!facts.definesGuard || macro != facts.controllingMacro()) definitions_.push_back(definition(macro, file));
    undefined_.insert(uses.undefined.begin(), uses.undefined.end());
    poisoned_.insert(uses.poisoned.begin(), uses.poisoned.end());
    for (const std::string& name : uses.imported) importedNames_.insert(fileNameOf(name));
    // Which files of the run other files include decides the lookups each
    // is judged with, and so which headers outside the run are followed:
    // only the run's own includes count, as they did when that was decided.
    if (listed)
        for (const std::string& name : uses.included) includedNames_.insert(fileNameOf(name));
}

void RunIndex::follow(HeaderCache& cache, const LookupsOf& lookupsOf) {
    HeaderFinder finder(cache);
    std::unordered_map<std::string, std::uint32_t> known;  // canonical path: file
    for (std::uint32_t file = 0; file < canonicals_.size(); ++file) known.emplace(canonicals_[file], file);
    // Each lookup once, by number: one lookup is one unit's.
    std::vector<HeaderLookup> lookups;
    std::unordered_map<std::string, std::uint32_t> lookupNumbers;
    const auto lookupNumber = [&](const HeaderLookup& lookup) {
        const auto made = lookupNumbers.emplace(lookup.searchPath + '\n' + lookup.quotePath + '\n' +
                                                    (lookup.followable ? "" : "unfollowable"),
                                                static_cast<std::uint32_t>(lookups.size()));
        if (made.second) lookups.push_back(lookup);
        return made.first->second;
    };
    // A file as one lookup reaches it under one name (its quoted includes
    // are found beside that name): what it includes there, each file found
    // with the name it was found by (a number into `names`).
    // Names by number: a tree has many nodes and few names.
    NameNumbers nodeNames, plainNames;
    struct Node {
        std::uint32_t file, lookup, name;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> includes;  // node, name
    };
    std::vector<Node> nodes;
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint32_t> nodeOf;  // file, lookup, name
    const auto nodeFor = [&](std::uint32_t file, const std::string& path, std::uint32_t lookup) {
        const std::uint32_t name = nodeNames.of(path);
        const auto made = nodeOf.emplace(std::make_tuple(file, lookup, name), static_cast<std::uint32_t>(nodes.size()));
        if (made.second) nodes.push_back({file, lookup, name, {}});
        return std::make_pair(made.first->second, made.second);
    };
    std::deque<std::uint32_t> pending;
    const std::uint32_t listed = static_cast<std::uint32_t>(canonicals_.size());
    std::vector<std::vector<std::uint32_t>> units(listed);  // each file of the run as a unit: its nodes
    for (std::uint32_t file = 0; file < listed; ++file)
        for (const HeaderLookup& lookup : lookupsOf(paths_[file])) {
            const auto [node, made] = nodeFor(file, paths_[file], lookupNumber(lookup));
            units[file].push_back(node);
            if (made) pending.push_back(node);
        }
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> names;  // plain name, file: number
    using LookupAndFile = std::pair<std::uint32_t, std::uint32_t>;
    std::map<LookupAndFile, std::uint32_t> nameFound;  // a name each file was found by
    std::set<std::uint32_t> twoNamed;
    constexpr std::uint32_t kMaxSpellings = 8;
    std::map<LookupAndFile, std::uint32_t> spellingsOf, firstNodeOf;
    // A name an include found: the file it is (kNotFollowed when it can't
    // be read), the number of its plain spelling, and whether that is the
    // spelling the file was listed or first read by.
    constexpr std::uint32_t kNotFollowed = UINT32_MAX;
    struct Found {
        bool known = false, listedName = false;
        std::uint32_t target = kNotFollowed, plain = 0;
    };
    std::vector<Found> foundAs;  // by the name's number in nodeNames
    const auto whatIsFound = [&](const std::string& found) {
        Found as;
        as.known = true;
        const std::string canonical = canonicalPaths_.of(found);
        if (canonical.empty()) return as;
        auto seen = known.find(canonical);
        if (seen == known.end()) {
            MacroUses uses;
            std::uint64_t tooLarge = 0;
            const auto facts = cache.factsWithUses(found, uses, &tooLarge);
            if (!facts || tooLarge > 0) return as;
            add(found, canonical, *facts, uses, false);
            seen = known.emplace(canonical, static_cast<std::uint32_t>(canonicals_.size() - 1)).first;
        }
        as.target = seen->second;
        const std::string plain = plainSpelling(found);
        as.listedName = plain == plainSpelling(paths_[as.target]);
        if (as.target < listed && !as.listedName && canonicalDirectoryOf(found) != canonicalDirectoryOf(paths_[as.target]))
            reachedElsewhere_.insert(canonical);
        as.plain = plainNames.of(plain);
        return as;
    };
    while (!pending.empty()) {
        const std::uint32_t at = pending.front();
        pending.pop_front();
        // A reference into a deque, which what this adds leaves in place.
        const std::string& includer = nodeNames[nodes[at].name];
        const std::uint32_t lookup = nodes[at].lookup;
        // What add() appends below moves includes_: numbers, not references.
        const std::uint32_t file = nodes[at].file;
        const std::size_t end = file + 1 < includesFrom_.size() ? includesFrom_[file + 1] : includes_.size();
        for (std::size_t i = includesFrom_[file]; i < end; ++i) {
            const std::string& name = includeNames_[includes_[i] / 2];
            const std::string found = finder.findLikeCompiler(name, includes_[i] % 2 == 1, includer, lookups[lookup]);
            if (found.empty()) continue;
            // What a found name stands for is worked out once per name: the
            // same few thousand names are found a hundred thousand times.
            const std::uint32_t foundName = nodeNames.of(found);
            if (foundName >= foundAs.size()) foundAs.resize(foundName + 1);
            if (!foundAs[foundName].known) foundAs[foundName] = whatIsFound(found);
            const Found& as = foundAs[foundName];
            if (as.target == kNotFollowed) continue;
            const std::uint32_t target = as.target;
            const std::uint32_t number =
                names.emplace(std::make_pair(as.plain, target), static_cast<std::uint32_t>(names.size())).first->second;
            const auto first = nameFound.emplace(LookupAndFile{lookup, target}, number);
            if (first.first->second != number) twoNamed.insert(target);
            // Quoted includes through ".." make new names without end
            // ("d/sub/../a.h" includes "sub/b.h", which includes "../a.h"):
            // past a few, a file's includes are followed from a name it has.
            std::uint32_t& spellings = spellingsOf[{lookup, target}];
            std::pair<std::uint32_t, bool> reached;
            if (spellings < kMaxSpellings) {
                reached = nodeFor(target, as.listedName ? paths_[target] : found, lookup);
                if (reached.second) ++spellings;
            } else {
                reached = {firstNodeOf.at({lookup, target}), false};
            }
            const auto [node, made] = reached;
            firstNodeOf.emplace(LookupAndFile{lookup, target}, node);
            nodes[at].includes.emplace_back(node, number);
            if (made) pending.push_back(node);
        }
    }
    followed_ = true;
    if (twoNamed.empty()) return;
    // What finding took is not needed below: its room goes to what follows.
    nodeOf.clear();
    names.clear();
    nameFound.clear();
    spellingsOf.clear();
    firstNodeOf.clear();
    std::vector<Found>().swap(foundAs);
    nodeNames.clear();
    plainNames.clear();
    // Only the nodes an include of a file with two names can be reached
    // from need walking: the others' walks find nothing.
    std::vector<char> leads(nodes.size(), 0);
    {
        std::vector<std::vector<std::uint32_t>> includers(nodes.size());
        std::vector<std::uint32_t> work;
        for (std::uint32_t at = 0; at < nodes.size(); ++at)
            for (const auto& include : nodes[at].includes) {
                includers[include.first].push_back(at);
                if (!leads[at] && twoNamed.count(nodes[include.first].file)) {
                    leads[at] = 1;
                    work.push_back(at);
                }
            }
        while (!work.empty()) {
            const std::uint32_t at = work.back();
            work.pop_back();
            for (const std::uint32_t includer : includers[at])
                if (!leads[includer]) {
                    leads[includer] = 1;
                    work.push_back(includer);
                }
        }
    }
    // Two names matter where one unit reaches both: the compiler records
    // each. Every file of the run may be a unit.
    std::vector<std::uint32_t> reachedFrom(nodes.size(), UINT32_MAX);  // the last root that reached each node
    for (std::uint32_t unit = 0; unit < listed; ++unit)
        for (const std::uint32_t root : units[unit]) {
            if (!leads[root]) continue;
            reachedFrom[root] = root;
            std::vector<std::uint32_t> stack{root};
            std::map<std::uint32_t, std::uint32_t> nameOf;  // a file of `twoNamed`: the name it came by
            while (!stack.empty()) {
                const std::uint32_t at = stack.back();
                stack.pop_back();
                for (const auto& [node, number] : nodes[at].includes) {
                    const std::uint32_t target = nodes[node].file;
                    if (twoNamed.count(target)) {
                        const auto first = nameOf.emplace(target, number);
                        if (first.first->second != number) severalNames_.insert(canonicals_[target]);
                    }
                    if (leads[node] && reachedFrom[node] != root) {
                        reachedFrom[node] = root;
                        stack.push_back(node);
                    }
                }
            }
        }
}

RunIndex::Definition RunIndex::definition(const std::string& macro, std::uint32_t file) {
    const std::uint64_t hash = nameHash(macro);
    return {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(hash), file};
}

bool RunIndex::owns(const std::string& guard, const std::string& canonical) const {
    const auto found = owners_.find(guard);
    return found != owners_.end() && std::any_of(found->second.begin(), found->second.end(),
                                                 [&](std::uint32_t o) { return canonicals_.equals(o, canonical); });
}

bool RunIndex::ownsGuard(const std::string& header, const std::string& guard) const {
    if (poisoned_.count(guard)) return false;
    const auto found = owners_.find(guard);
    if (found == owners_.end()) return true;
    const std::string canonical = canonicalOf(header);
    return std::all_of(found->second.begin(), found->second.end(),
                       [&](std::uint32_t o) { return canonicals_.equals(o, canonical); });
}

bool RunIndex::soleDefiner(const std::string& header, const HeaderFacts& facts, const std::string& guard) const {
    if (predefined_.count(guard)) return false;
    if ((facts.pragmaOnce || importedNames_.count(fileNameOf(header))) && undefined_.count(guard)) return false;
    // A header's definitions of its own guard are not listed; any other
    // file's may come before the header's first include somewhere.
    const Definition least = definition(guard, 0);
    const auto first = std::lower_bound(definitions_.begin(), definitions_.end(), least);
    const auto end = std::upper_bound(first, definitions_.end(), Definition{least.high, least.low, UINT32_MAX});
    if (first == end) return true;
    const std::string canonical = canonicalOf(header);
    return std::all_of(first, end, [&](const Definition& made) { return canonicals_.equals(made.file, canonical); });
}

bool RunIndex::reachedFromAnotherDirectory(const std::string& path) const {
    if (!followed_ || reachedElsewhere_.empty()) return false;
    return reachedElsewhere_.count(canonicalOf(path)) != 0;
}

bool RunIndex::otherNameOf(const std::string& header) const {
    if (severalNames_.empty()) return false;
    return severalNames_.count(canonicalOf(header)) != 0;
}

bool RunIndex::numberOf(const std::string& path, std::uint32_t& file) const {
    const std::string plain = plainSpelling(path);
    const Definition least = definition(plain, 0);
    const auto first = std::lower_bound(named_.begin(), named_.end(), least);
    const auto end = std::upper_bound(first, named_.end(), Definition{least.high, least.low, UINT32_MAX});
    for (auto it = first; it != end; ++it)
        if (plainSpelling(paths_[it->file]) == plain) {
            file = it->file;
            return true;
        }
    return false;
}

bool RunIndex::readAs(const std::string& path, std::uint64_t& device, std::uint64_t& file) const {
    std::uint32_t number;
    if (!numberOf(path, number)) return false;
    std::tie(device, file) = versions_[number];
    return true;
}

std::string RunIndex::canonicalOf(const std::string& path) const {
    std::uint32_t number;
    if (numberOf(path, number)) return canonicals_[number];
    std::lock_guard<std::mutex> hold(canonicalLock_);
    auto found = canonicalByName_.find(path);
    if (found == canonicalByName_.end())
        found = canonicalByName_.emplace(path, canonicalNames_.add(canonicalPaths_.of(path))).first;
    return canonicalNames_[found->second];
}

bool RunIndex::includedByName(const std::string& path) const { return includedNames_.count(fileNameOf(path)) != 0; }

std::string RunIndex::otherHeaderGuardedBy(const std::string& macro, const std::string& header) const {
    const auto found = owners_.find(macro);
    if (found == owners_.end()) return "";
    const std::string canonical = canonicalOf(header);
    for (std::uint32_t owner : found->second)
        if (!canonicals_.equals(owner, canonical)) return paths_[owner];
    return "";
}

std::vector<std::pair<std::string, std::vector<std::string>>> RunIndex::sharedGuards() const {
    std::vector<std::pair<std::string, std::vector<std::string>>> shared;
    for (const auto& [guard, owners] : owners_) {
        if (owners.size() < 2) continue;
        std::vector<std::string> paths;
        for (std::uint32_t owner : owners) paths.push_back(paths_[owner]);
        shared.emplace_back(guard, std::move(paths));
    }
    return shared;
}

}  // namespace vimbo::analysis
