#include "rewrite/leftover_scratch.h"

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/path_parts.h"
#include "analysis/source_scanner.h"
#include "analysis/wrapper_lines.h"
#include "rewrite/scratch_file.h"

namespace vimbo::rewrite {

namespace {

// A text larger than this is no scratch file of a run (nor compared).
constexpr std::uint64_t kMaxComparedSize = std::uint64_t{64} << 20;

bool readBounded(const vimbo::platform::FileSystemOps& fs, const std::string& path, std::string& bytes) {
    vimbo::platform::FileIdentity identity;
    return fs.identityNoFollow(path, identity) && identity.size <= kMaxComparedSize &&
           vimbo::platform::readWholeFile(fs, path, bytes);
}

struct Line {
    std::string_view text, ending;
};

std::vector<Line> linesOf(std::string_view bytes) {
    std::vector<Line> lines;
    while (!bytes.empty()) {
        const std::size_t feed = bytes.find('\n');
        const std::size_t end = feed == std::string_view::npos ? bytes.size() : feed + 1;
        std::string_view text = bytes.substr(0, feed == std::string_view::npos ? bytes.size() : feed);
        std::size_t endingSize = end - text.size();
        if (!text.empty() && text.back() == '\r' && feed != std::string_view::npos) {
            text.remove_suffix(1);
            ++endingSize;
        }
        lines.push_back({text, bytes.substr(text.size(), endingSize)});
        bytes.remove_prefix(end);
    }
    return lines;
}

bool directiveNamed(std::string_view text, std::string_view wanted) {
    std::string_view name, rest;
    return vimbo::analysis::readDirective(text, name, rest) && name == wanted;
}

// The lines that stay once every external guard is taken away.
std::vector<Line> unguarded(std::string_view bytes) {
    const std::vector<Line> lines = linesOf(bytes);
    std::vector<bool> gone(lines.size(), false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!directiveNamed(lines[i].text, "include")) continue;
        std::size_t depth = 1;
        for (; depth <= i && i + depth < lines.size(); ++depth) {
            if (vimbo::analysis::wrapperOpening(lines[i - depth].text).empty() ||
                !vimbo::analysis::wrapperClosing(lines[i + depth].text))
                break;
            gone[i - depth] = gone[i + depth] = true;
        }
    }
    // --keep-lines writes "#line" behind wraps and behind the groups that
    // hold them; it leaves files that set line numbers themselves alone.
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (directiveNamed(lines[i].text, "line")) gone[i] = true;
    std::vector<Line> kept;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!gone[i]) kept.push_back(lines[i]);
    return kept;
}

}  // namespace

bool oldTextOf(std::string_view old, std::string_view current) {
    if (old == current) return true;
    const std::vector<Line> kept = unguarded(current);
    std::string text;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        text.append(kept[i].text);
        text.append(kept[i].ending);
    }
    // A guard that closed the file without a line break leaves the last
    // line kept without one.
    const std::vector<Line> all = linesOf(current);
    if (!kept.empty() && !all.empty() && all.back().ending.empty() && !kept.back().ending.empty())
        text.resize(text.size() - kept.back().ending.size());
    return old == text;
}

bool sameButForGuards(std::string_view a, std::string_view b) {
    const std::vector<Line> left = unguarded(a), right = unguarded(b);
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i].text != right[i].text) return false;
        // A guard that closed the file can leave the last line without its break.
        if (i + 1 < left.size() && left[i].ending != right[i].ending) return false;
    }
    return true;
}

bool removeLeftover(const vimbo::platform::FileSystemOps& fs, const std::string& path, const std::string& hint,
                    std::string& of) {
    namespace stdfs = std::filesystem;
    std::string left;
    if (!readBounded(fs, path, left)) return false;
    // No text at all: cut short before its first byte.
    if (left.empty()) {
        of.clear();
        return fs.remove(path);
    }
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(path);
    const std::string directory = parts.drive + parts.directory;
    std::vector<std::string> candidates;
    if (!hint.empty()) candidates.push_back(hint);
    std::error_code error;
    for (stdfs::directory_iterator it(vimbo::platform::nativePath(directory.empty() ? "." : directory), error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (!isScratchName(name) && it->is_regular_file(ignored) && directory + name != hint)
            candidates.push_back(directory + name);
    }
    for (const std::string& candidate : candidates) {
        std::string text;
        if (!readBounded(fs, candidate, text) || !oldTextOf(left, text)) continue;
        if (!fs.remove(path)) return false;
        of = candidate;
        return true;
    }
    return false;
}

}  // namespace vimbo::rewrite
