// Where an include directive's header is looked for. By the library's rules:
// quoted names in the current directory only, other names along the include
// search path only, absolute names only where they point. By a compiler's:
// beside the including file first, and never with ".h" added.
#include "analysis/header_finder.h"
#include "analysis/include_rules.h"

#include <vector>

#include "analysis/include_directive.h"
#include "analysis/path_parts.h"
#include "analysis/path_spelling.h"
#include "analysis/search_path.h"
#include "platform/path_rules.h"

namespace vimbo::analysis {
namespace {
// A name written without extension may mean the header that has ".h".
bool mayRetryWithH(const std::string& candidate, IncludeKind kind) {
    return kind == includeAngle && candidate.find('.') == std::string::npos;
}

std::string existingCandidate(const vimbo::platform::FileSystemOps& fs, const std::string& candidate,
                              IncludeKind kind, bool retryWithH) {
    if (!retryWithH) return fs.exists(candidate) ? candidate : "";
    if (mayRetryWithH(candidate, kind) && fs.exists(candidate + ".h")) return candidate + ".h";
    return "";
}

// Calls `visit` with each entry of a search path, "\\" appended where it is
// missing, until it returns true.
template <typename Visit>
bool forEachEntry(const std::string& searchPath, Visit visit) {
    for (std::string entry : searchPathEntries(searchPath)) {
        if (entry.back() != '\\') entry += '\\';
        if (visit(entry)) return true;
    }
    return false;
}
}  // namespace

std::string searchIncludePath(const vimbo::platform::FileSystemOps& fs, const std::string& name,
                              const std::string& searchPath, IncludeKind kind) {
    try {
        // The name as written wins wherever it is found; only when no entry
        // holds it does a name without extension mean the header with ".h".
        for (bool retryWithH : {false, true}) {
            std::string found;
            if (isAbsolutePath(name)) {
                found = existingCandidate(fs, name, kind, retryWithH);
            } else {
                forEachEntry(searchPath, [&](const std::string& entry) {
                    std::string candidate = entry + name;
                    toBackslashes(candidate);
                    found = existingCandidate(fs, candidate, kind, retryWithH);
                    return !found.empty();
                });
            }
            if (!found.empty()) return found;
        }
        return "";
    } catch (...) {
        return "";
    }
}

bool HeaderFinder::isRegularFile(const std::string& path) const {
    vimbo::platform::FileIdentity identity;
    return cache_.identityOf(path, identity);
}

// The first regular file that a search path's entries hold under `name`.
std::string HeaderFinder::firstAlong(const std::string& searchPath, const std::string& name) const {
    std::string found;
    forEachEntry(searchPath, [&](const std::string& entry) {
        std::string candidate = entry + name;
        toBackslashes(candidate);
        if (isRegularFile(candidate)) found = candidate;
        return !found.empty();
    });
    return found;
}

std::string HeaderFinder::locateIncludeFile(const std::string& line, const HeaderLookup& lookup) const {
    try {
        IncludeKind kind;
        bool delimited;
        std::string name = parseIncludeOperand(line, kind, delimited);
        // A bare name is a macro: which header it names is the preprocessor's
        // business. A NUL would cut the name short on its way to the system.
        if (name.empty() || !delimited || name.find('\0') != std::string::npos) return "";
        // A compiler opens "/x" from the root (of the current drive, on
        // Windows), never from the current directory.
        if (name[0] == '/') return fs_.exists(name) ? name : "";
        if (kind == includeAngle) return searchIncludePath(fs_, name, lookup.searchPath, includeAngle);
        if (kind == includeQuoted) return searchIncludePath(fs_, name, ".\\", includeQuoted);
        return "";
    } catch (...) {
        return "";
    }
}

std::string HeaderFinder::findLikeCompiler(const std::string& name, bool quoted, const std::string& includer,
                                           const HeaderLookup& lookup) const {
    if (name.empty() || name.find('\0') != std::string::npos || !lookup.followable) return "";
    if (isAbsolutePath(name)) return isRegularFile(name) ? name : "";
    // Reached through a link in another directory, the file's quoted names
    // are found beside the link: from here, which is unknown.
    if (quoted && cache_.reachedFromAnotherDirectory(includer)) return "";
    const PathParts parts = splitPath(includer);
    const std::string directory = parts.drive + parts.directory;
    // Only the includer's directory matters, and only for a quoted name.
    // Under cl's rules a quoted name not beside its includer depends on the
    // include stack, known for the unit alone.
    const bool bottomOfStack = lookup.includeStack && quoted && includer == lookup.unit;
    const std::string key = name + '\n' + (quoted ? "q" + directory : "a") +
                            (lookup.includeStack && quoted ? (bottomOfStack ? "u" : "s") : "") + '\n' +
                            std::to_string(cache_.contextNumber(lookup.searchPath + '\n' + (quoted ? lookup.quotePath : "")));
    std::string found;
    if (cache_.knownLookup(key, found)) return found;
    found = lookUp(name, quoted, directory, lookup, bottomOfStack);
    cache_.rememberLookup(key, found);
    return found;
}

namespace {
// The directories of a compiler's search, in order: the quote path's, then
// the search path's, each with "\\" at its end.
std::vector<std::string> searchChain(const HeaderLookup& lookup) {
    std::vector<std::string> chain;
    for (const std::string* path : {&lookup.quotePath, &lookup.searchPath})
        forEachEntry(*path, [&](const std::string& entry) {
            chain.push_back(entry);
            return false;
        });
    return chain;
}

bool sameFile(const vimbo::platform::FileIdentity& a, const vimbo::platform::FileIdentity& b) {
    return a.device == b.device && a.file == b.file;
}
}  // namespace

std::string HeaderFinder::firstInChain(const std::string& name, const HeaderLookup& lookup) const {
    if (name.empty() || name.find('\0') != std::string::npos || !lookup.followable || isAbsolutePath(name)) return "";
    const std::string found = firstAlong(lookup.quotePath, name);
    return found.empty() ? firstAlong(lookup.searchPath, name) : found;
}

std::string HeaderFinder::findNextLikeCompiler(const std::string& name, const std::string& includer,
                                               const HeaderLookup& lookup) const {
    if (name.empty() || name.find('\0') != std::string::npos || !lookup.followable || isAbsolutePath(name)) return "";
    if (!vimbo::platform::kBackslashSeparates &&
        (name.find('\\') != std::string::npos || lookup.searchPath.find('\\') != std::string::npos ||
         lookup.quotePath.find('\\') != std::string::npos))
        return "";
    vimbo::platform::FileIdentity own;
    if (!cache_.identityOf(includer, own)) return "";
    // The names the includer may have been found under in a directory: its
    // path and each tail of it.
    std::string path = includer;
    toBackslashes(path);
    std::vector<std::string> names;
    if (!isAbsolutePath(path)) names.push_back(path);
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        if (at + 1 < path.size()) names.push_back(path.substr(at + 1));
    const std::vector<std::string> chain = searchChain(lookup);
    std::size_t foundIn = chain.size();
    for (std::size_t i = 0; i < chain.size(); ++i)
        for (const std::string& tail : names) {
            vimbo::platform::FileIdentity identity;
            std::string candidate = chain[i] + tail;
            toBackslashes(candidate);
            if (!cache_.identityOf(candidate, identity) || !sameFile(identity, own)) continue;
            if (foundIn != chain.size()) return "";  // in two directories: which one is the compiler's?
            foundIn = i;
            break;
        }
    for (std::size_t i = foundIn + 1; i < chain.size(); ++i) {
        std::string candidate = chain[i] + name;
        toBackslashes(candidate);
        vimbo::platform::FileIdentity found;
        if (!cache_.identityOf(candidate, found)) continue;
        // The compiler drops a directory named again from its search: the
        // same file in an earlier directory may mean this one is dropped.
        for (std::size_t earlier = 0; earlier < i; ++earlier) {
            std::string same = chain[earlier] + name;
            toBackslashes(same);
            vimbo::platform::FileIdentity identity;
            if (cache_.identityOf(same, identity) && sameFile(identity, found)) return "";
        }
        return candidate;
    }
    return "";
}

std::string HeaderFinder::lookUp(const std::string& name, bool quoted, const std::string& includerDirectory,
                                 const HeaderLookup& lookup, bool bottomOfStack) const {
    // The compiler hands the name to the system as written; where "\\" is no
    // separator it names another file than the one found here.
    if (!vimbo::platform::kBackslashSeparates &&
        (name.find('\\') != std::string::npos || lookup.searchPath.find('\\') != std::string::npos ||
         (quoted && lookup.quotePath.find('\\') != std::string::npos)))
        return "";
    if (quoted) {
        std::string candidate = includerDirectory.empty() ? ".\\" + name : includerDirectory + name;
        toBackslashes(candidate);
        if (isRegularFile(candidate)) return candidate;
        if (lookup.includeStack && !bottomOfStack) return "";
        const std::string found = firstAlong(lookup.quotePath, name);
        if (!found.empty()) return found;
    }
    return firstAlong(lookup.searchPath, name);
}

std::string HeaderFinder::headerOf(const std::string& line, const std::string& includer,
                                   const HeaderLookup& lookup) const {
    return rulesFor(lookup).headerOf(line, includer, lookup, *this);
}

}  // namespace vimbo::analysis
