#include "text_invariants.h"

#include <cstdint>
#include <unordered_set>
#include <utility>

namespace vimbo::invariants {

std::vector<Line> keptLines(const std::string& bytes) {
    std::vector<Line> lines;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        const std::string::size_type feed = bytes.find('\n', start);
        if (feed == std::string::npos) {
            lines.push_back({bytes.substr(start), ""});
            break;
        }
        const bool cr = feed > start && bytes[feed - 1] == '\r';
        lines.push_back({bytes.substr(start, feed - start - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
        start = feed + 1;
    }
    return lines;
}

std::vector<Line> textModeLines(const std::string& bytes, bool& lossy) {
    std::vector<Line> lines;
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
            lines.push_back({line, "\r\n"});
            line.clear();
            any = pendingCr = false;
            continue;
        }
        lossy = lossy || pendingCr;
        pendingCr = false;
        line += c;
        any = true;
    }
    if (any) lines.push_back({line, "\r\n"});
    return lines;
}

std::string joined(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) text += line.text + line.ending;
    return text;
}

namespace {
bool same(const Line& a, const Line& b) { return a.text == b.text && a.ending == b.ending; }

// rewritten[i..i+2] is original[j] wrapped in a guard pair.
bool wrapAt(const std::vector<Line>& rewritten, std::size_t i, const Line& wrapped) {
    if (i + 2 >= rewritten.size()) return false;
    const Line &test = rewritten[i], &line = rewritten[i + 1], &end = rewritten[i + 2];
    const std::string& inner = wrapped.ending.empty() ? line.ending : wrapped.ending;
    if (inner != "\n" && inner != "\r\n") return false;
    return test.text.rfind("#ifndef ", 0) == 0 && test.ending == inner && line.text == wrapped.text &&
           line.ending == inner && end.text == "#endif" && end.ending == wrapped.ending;
}
}  // namespace

bool onlyGuardsAdded(const std::vector<Line>& rewritten, const std::vector<Line>& original, WrapCheck justified) {
    // The states visited lie near one diagonal: a set keeps this linear.
    std::unordered_set<std::uint64_t> seen;
    std::vector<std::pair<std::size_t, std::size_t>> todo = {{0, 0}};
    while (!todo.empty()) {
        auto [i, j] = todo.back();
        todo.pop_back();
        if (i == rewritten.size() && j == original.size()) return true;
        if (i >= rewritten.size() || !seen.insert((std::uint64_t{i} << 32) | j).second) continue;
        if (j < original.size() && same(rewritten[i], original[j])) todo.push_back({i + 1, j + 1});
        if (j < original.size() && wrapAt(rewritten, i, original[j]) &&
            (!justified || justified(j > 0 ? &original[j - 1].text : nullptr, rewritten[i].text, original[j].text,
                                     j + 1 < original.size() ? &original[j + 1].text : nullptr)))
            todo.push_back({i + 3, j + 1});
    }
    return false;
}

}  // namespace vimbo::invariants
