#include "batch/unit_reads.h"

#include <algorithm>
#include <map>

namespace fs = std::filesystem;

namespace vimbo::batch {

namespace {

// The path the file system resolves a name to; as written, made absolute,
// for one that does not resolve.
std::string canonicalOf(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    if (error) resolved = fs::absolute(path, error).lexically_normal();
    return resolved.string();
}

const char kIncludeNote[] = "Note: including file:";

}  // namespace

bool makeRulePrerequisites(const std::string& text, std::vector<std::string>& files) {
    files.clear();
    // The target ends at the first colon that stands before a blank or the
    // line's end (a drive's colon does not).
    std::size_t at = 0;
    for (;; ++at) {
        at = text.find(':', at);
        if (at == std::string::npos) return false;
        if (at + 1 == text.size() || text[at + 1] == ' ' || text[at + 1] == '\t' || text[at + 1] == '\n' ||
            text[at + 1] == '\r')
            break;
    }
    std::string file;
    const auto endFile = [&] {
        if (!file.empty()) files.push_back(file);
        file.clear();
    };
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            std::size_t run = i;
            while (run < text.size() && text[run] == '\\') ++run;
            const std::size_t slashes = run - i;
            const char next = run < text.size() ? text[run] : '\0';
            if (next == '\n' || (next == '\r' && run + 1 < text.size() && text[run + 1] == '\n')) {
                // A continued line, behind any backslashes of the name.
                file.append(slashes - 1, '\\');
                endFile();
                i = next == '\r' ? run + 1 : run;
            } else if (next == ' ' || next == '\t') {
                // Backslashes in front of a blank are doubled; an odd one escapes it.
                file.append(slashes / 2, '\\');
                if (slashes % 2) file += next;
                else endFile();
                i = run;
            } else if (next == '#' && slashes == 1) {
                file += '#';
                i = run;
            } else {
                file.append(slashes, '\\');
                i = run - 1;
            }
        } else if (c == '$' && i + 1 < text.size() && text[i + 1] == '$') {
            file += '$';
            ++i;
        } else if (c == '\n') {
            break;  // the rule's end
        } else if (c == ' ' || c == '\t' || c == '\r') {
            endFile();
        } else {
            file += c;
        }
    }
    endFile();
    return true;
}

bool isIncludeNote(const std::string& line) { return line.rfind(kIncludeNote, 0) == 0; }

std::vector<std::string> noteIncludes(const std::string& errors) {
    std::vector<std::string> files;
    for (std::size_t start = 0; start < errors.size();) {
        std::size_t end = errors.find('\n', start);
        if (end == std::string::npos) end = errors.size();
        std::string line = errors.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!isIncludeNote(line)) continue;
        // The blanks behind the note tell how deep the include is.
        const std::size_t name = line.find_first_not_of(' ', sizeof kIncludeNote - 1);
        if (name != std::string::npos) files.push_back(line.substr(name));
    }
    return files;
}

RunFiles::RunFiles(const std::vector<std::string>& paths) : count_(paths.size()) {
    // A run's files are no links (the walk leaves those out): the
    // directory's canonical path, asked once for each, names them.
    std::map<fs::path, std::string> directories;
    byPath_.reserve(paths.size());
    for (std::uint32_t i = 0; i < paths.size(); ++i) {
        const fs::path path(paths[i]);
        const fs::path parent = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        auto known = directories.find(parent);
        if (known == directories.end()) known = directories.emplace(parent, canonicalOf(parent)).first;
        const fs::path name = path.filename();
        byPath_.emplace((fs::path(known->second) / name).string(), i);
        names_.insert(name.string());
    }
}

std::vector<std::uint32_t> RunFiles::among(const std::vector<std::string>& files, const fs::path& directory) const {
    std::vector<std::uint32_t> found;
    for (const std::string& file : files) {
        fs::path path(file);
        if (!names_.count(path.filename().string())) continue;
        if (path.is_relative()) path = directory / path;
        const auto at = byPath_.find(canonicalOf(path));
        if (at != byPath_.end()) found.push_back(at->second);
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

}  // namespace vimbo::batch
