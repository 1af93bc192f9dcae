#include "text_invariants.h"

#include <cstdint>
#include <unordered_set>
#include <utility>

namespace vimbo::invariants {

std::vector<std::string> textModeLines(const std::string& bytes, bool& lossy) {
    std::vector<std::string> lines;
    std::string line;
    bool any = false, pendingCr = false;
    lossy = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == 26) {
            lossy = lossy || i + 1 < bytes.size();
            break;
        }
        if (c == '\r') {
            lossy = lossy || pendingCr;  // of CR CR LF only one CR ends the line
            pendingCr = true;
            continue;
        }
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
            any = pendingCr = false;
            continue;
        }
        lossy = lossy || pendingCr;
        pendingCr = false;
        line += c;
        any = true;
    }
    if (any) lines.push_back(line);
    return lines;
}

std::string crlfText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool writtenLines(const std::string& bytes, std::vector<std::string>& lines) {
    lines.clear();
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        const std::string::size_type end = bytes.find('\n', start);
        if (end == std::string::npos || end == start || bytes[end - 1] != '\r') return false;
        lines.push_back(bytes.substr(start, end - 1 - start));
        start = end + 1;
    }
    return true;
}

bool onlyGuardsAdded(const std::vector<std::string>& rewritten, const std::vector<std::string>& original,
                     WrapCheck justified) {
    // The states visited lie near one diagonal: a set keeps this linear.
    std::unordered_set<std::uint64_t> seen;
    std::vector<std::pair<std::size_t, std::size_t>> todo = {{0, 0}};
    while (!todo.empty()) {
        auto [i, j] = todo.back();
        todo.pop_back();
        if (i == rewritten.size() && j == original.size()) return true;
        if (i >= rewritten.size() || !seen.insert((std::uint64_t{i} << 32) | j).second) continue;
        if (j < original.size() && rewritten[i] == original[j]) todo.push_back({i + 1, j + 1});
        if (j < original.size() && rewritten[i].rfind("#ifndef ", 0) == 0 && i + 2 < rewritten.size() &&
            rewritten[i + 1] == original[j] && rewritten[i + 2] == "#endif" &&
            (!justified || justified(j > 0 ? &original[j - 1] : nullptr, rewritten[i], original[j],
                                     j + 1 < original.size() ? &original[j + 1] : nullptr)))
            todo.push_back({i + 3, j + 1});
    }
    return false;
}

}  // namespace vimbo::invariants
