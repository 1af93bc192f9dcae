// Where an include directive's header is looked for: quoted names in the
// current directory only, other names along the include search path only,
// absolute names only where they point.
#include "analysis/include_directive.h"
#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "analysis/search_path.h"
#include "interface/vimbo.h"
#include "platform/file_system.h"

namespace {
bool exists(const std::string& path) { return vimbo::platform::fileSystem().exists(path); }

// A name written without extension may mean the header that has ".h".
bool mayRetryWithH(const std::string& candidate, IncludeKind kind) {
    return kind == includeAngle && candidate.find('.') == std::string::npos;
}

std::string existingCandidate(const std::string& candidate, IncludeKind kind, bool retryWithH) {
    if (!retryWithH) return exists(candidate) ? candidate : "";
    if (mayRetryWithH(candidate, kind) && exists(candidate + ".h")) return candidate + ".h";
    return "";
}

bool isRegularFile(const std::string& path) {
    vimbo::platform::FileIdentity identity;
    return vimbo::platform::fileSystem().identity(path, identity);
}

// Calls `visit` with each entry of a search path, "\\" appended where it is
// missing, until it returns true.
template <typename Visit>
bool forEachEntry(const std::string& searchPath, Visit visit) {
    for (std::string entry : vimbo::analysis::searchPathEntries(searchPath)) {
        if (entry.back() != '\\') entry += '\\';
        if (visit(entry)) return true;
    }
    return false;
}
// The first regular file that a search path's entries hold under `name`.
std::string firstAlong(const std::string& searchPath, const std::string& name) {
    std::string found;
    forEachEntry(searchPath, [&](const std::string& entry) {
        std::string candidate = entry + name;
        Vimbo::toBackslashes(candidate);
        if (isRegularFile(candidate)) found = candidate;
        return !found.empty();
    });
    return found;
}
}  // namespace

std::string Vimbo::searchIncludePath(std::string name, std::string searchPath, IncludeKind kind) {
    try {
        // The name as written wins wherever it is found; only when no entry
        // holds it does a name without extension mean the header with ".h".
        for (bool retryWithH : {false, true}) {
            std::string found;
            if (vimbo::analysis::isAbsolutePath(name)) {
                found = existingCandidate(name, kind, retryWithH);
            } else {
                forEachEntry(searchPath, [&](const std::string& entry) {
                    std::string candidate = entry + name;
                    toBackslashes(candidate);
                    found = existingCandidate(candidate, kind, retryWithH);
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

std::string Vimbo::findHeaderLikeCompiler(const std::string& name, bool quoted, const std::string& includer) {
    if (name.empty() || name.find('\0') != std::string::npos) return "";
    if (vimbo::analysis::isAbsolutePath(name)) return isRegularFile(name) ? name : "";
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(includer);
    // Only the includer's directory matters, and only for a quoted name.
    const std::string key = name + '\n' + (quoted ? "q" + parts.drive + parts.directory : "a") + '\n' +
                            settings->includePath() + '\n' + (quoted ? quotePath_ : "");
    std::string found;
    if (headerCache().knownLookup(key, found)) return found;
    found = lookUpLikeCompiler(name, quoted, parts);
    headerCache().rememberLookup(key, found);
    return found;
}

std::string Vimbo::lookUpLikeCompiler(const std::string& name, bool quoted, const vimbo::analysis::PathParts& parts) {
    if (quoted) {
        std::string candidate = parts.drive + parts.directory + name;
        if (parts.drive.empty() && parts.directory.empty()) candidate = ".\\" + name;
        toBackslashes(candidate);
        if (isRegularFile(candidate)) return candidate;
        const std::string found = firstAlong(quotePath_, name);
        if (!found.empty()) return found;
    }
    return firstAlong(settings->includePath(), name);
}

std::string Vimbo::locateIncludeFile(const std::string& line) {
    try {
        IncludeKind kind;
        bool delimited;
        std::string name = vimbo::analysis::parseIncludeOperand(line, kind, delimited);
        // A bare name is a macro: which header it names is the preprocessor's
        // business. A NUL would cut the name short on its way to the system.
        if (name.empty() || !delimited || name.find('\0') != std::string::npos) return "";
        // A compiler opens "/x" from the root (of the current drive, on
        // Windows), never from the current directory.
        if (name[0] == '/') return exists(name) ? name : "";
        if (kind == includeAngle) return searchIncludePath(name, settings->includePath(), includeAngle);
        if (kind == includeQuoted) return searchIncludePath(name, ".\\", includeQuoted);
        return "";
    } catch (...) {
        return "";
    }
}
