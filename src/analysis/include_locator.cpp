// Where an include directive's header is looked for: quoted names in the
// current directory only, other names along the include search path only,
// absolute names only where they point.
#include "interface/vimbo.h"
#include "platform/file_system.h"

namespace {
bool exists(const std::string& path) { return vimbo::platform::fileSystem().exists(path); }

bool isAbsolute(const std::string& name) {
    return (name.size() >= 2 && name[1] == ':') || (!name.empty() && name[0] == '\\');
}

// A name written without extension may mean the header that has ".h".
bool mayRetryWithH(const std::string& candidate, IncludeKind kind) {
    return kind == includeAngle && candidate.find('.') == std::string::npos;
}

std::string existingCandidate(const std::string& candidate, IncludeKind kind) {
    if (exists(candidate)) return candidate;
    if (mayRetryWithH(candidate, kind) && exists(candidate + ".h")) return candidate + ".h";
    return "";
}
}  // namespace

std::string Vimbo::searchIncludePath(std::string name, std::string searchPath, IncludeKind kind) {
    try {
        if (isAbsolute(name)) return existingCandidate(name, kind);

        std::string::size_type position = 0;
        while (position < searchPath.size()) {
            std::string::size_type separator = searchPath.find(';', position);
            std::string entry;
            if (separator == std::string::npos) {
                entry = searchPath.substr(position);
                position = searchPath.size();
            } else {
                entry = searchPath.substr(position, separator - position);
                position = separator + 1;
            }
            // An empty entry ends the search; what stands behind it is not tried.
            if (entry.empty()) return "";
            if (entry.back() != '\\') entry += '\\';
            std::string candidate = entry + name;
            toBackslashes(candidate);
            std::string found = existingCandidate(candidate, kind);
            if (!found.empty()) return found;
        }
        return "";
    } catch (...) {
        return "";
    }
}

std::string Vimbo::locateIncludeFile(const std::string& line) {
    try {
        IncludeKind kind;
        std::string name = parseIncludeDirective(line, kind);
        if (name.empty()) return "";
        if (kind == includeAngle) return searchIncludePath(name, settings->includePath(), includeAngle);
        if (kind == includeQuoted) return searchIncludePath(name, ".\\", includeQuoted);
        return "";
    } catch (...) {
        return "";
    }
}
