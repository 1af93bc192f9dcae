#include "batch/unified_diff.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <dtl/dtl.hpp>

#include "project/git_access.h"

namespace vimbo::batch {

namespace {

constexpr std::size_t kContext = 3;

// A view into the bytes diffed, which outlive the diff: a large file's
// lines are not copied.
struct Line {
    std::string_view text;  // without its line feed; a carriage return stays
    bool hasNewline;
};

struct Edit {
    char kind;  // ' ' kept, '-' removed, '+' added
    const Line* line;
};

std::vector<Line> splitLines(const std::string& bytes) {
    std::vector<Line> lines;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        std::string::size_type end = bytes.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back({std::string_view(bytes).substr(start), false});
            break;
        }
        lines.push_back({std::string_view(bytes).substr(start, end - start), true});
        start = end + 1;
    }
    return lines;
}

// The shortest edit script (Myers' algorithm, from dtl), as git diff finds
// one: a line that differs only in its ending shows as removed and added.
// Lines are diffed as numbers, one per distinct text with its ending: the
// same script, in a fraction of the memory a large file's lines take.
std::vector<Edit> edits(const std::vector<Line>& before, const std::vector<Line>& after) {
    std::unordered_map<std::string_view, std::uint32_t> numbers;
    const auto numbered = [&](const std::vector<Line>& lines) {
        std::vector<std::uint32_t> sequence;
        sequence.reserve(lines.size());
        for (const Line& line : lines) {
            // The line feed follows the text in the bytes: with it, the key tells the endings apart.
            const std::string_view key(line.text.data(), line.text.size() + (line.hasNewline ? 1 : 0));
            sequence.push_back(numbers.emplace(key, static_cast<std::uint32_t>(numbers.size())).first->second);
        }
        return sequence;
    };
    const std::vector<std::uint32_t> first = numbered(before), second = numbered(after);
    numbers.clear();
    dtl::Diff<std::uint32_t> diff(first, second, true);
    // Beyond some thousands of changes, less memory rather than the very shortest script.
    if (before.size() + after.size() > 100000) diff.onHuge();
    diff.compose();
    std::vector<Edit> result;
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        if (info.type == dtl::SES_ADD) result.push_back({'+', &after[static_cast<std::size_t>(info.afterIdx - 1)]});
        else if (info.type == dtl::SES_DELETE) result.push_back({'-', &before[static_cast<std::size_t>(info.beforeIdx - 1)]});
        else result.push_back({' ', &before[static_cast<std::size_t>(info.beforeIdx - 1)]});
    }
    // Within each run of changes, removed lines before added ones, as diff shows them.
    for (auto run = result.begin(); run != result.end();) {
        if (run->kind == ' ') {
            ++run;
            continue;
        }
        auto end = std::find_if(run, result.end(), [](const Edit& e) { return e.kind == ' '; });
        std::stable_partition(run, end, [](const Edit& e) { return e.kind == '-'; });
        run = end;
    }
    return result;
}

// Names with blanks, quotes, backslashes or bytes outside printable ASCII
// are quoted the way git writes them; patch and git apply read that form.
std::string quotedPath(const std::string& prefix, const std::string& path) {
    const std::string name = prefix + path;
    bool needsQuotes = false;
    for (unsigned char c : name) needsQuotes = needsQuotes || c <= ' ' || c >= 127 || c == '"' || c == '\\';
    if (!needsQuotes) return name;
    std::string quoted = "\"";
    for (unsigned char c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c < ' ' || c >= 127) {
            const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)),
                                  static_cast<char>('0' + (c & 7)), '\0'};
            quoted += octal;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

void appendLine(std::string& out, const Edit& edit) {
    out += edit.kind;
    out.append(edit.line->text);
    out += '\n';
    if (!edit.line->hasNewline) out += "\\ No newline at end of file\n";
}

std::string hunks(const std::vector<Edit>& all) {
    std::string out;
    std::size_t oldLine = 1, newLine = 1;  // numbers of the line at position `at`
    std::size_t at = 0;
    while (at < all.size()) {
        // The next change, and the context before it.
        std::size_t change = at;
        while (change < all.size() && all[change].kind == ' ') ++change;
        if (change == all.size()) break;
        const std::size_t skip = change - at > kContext ? change - at - kContext : 0;
        std::size_t start = at + skip;
        std::size_t oldStart = oldLine + skip, newStart = newLine + skip;
        // Extend over changes closer together than twice the context.
        std::size_t end = change;
        std::size_t keptRun = 0;
        for (std::size_t k = change; k < all.size(); ++k) {
            if (all[k].kind == ' ') {
                if (++keptRun > 2 * kContext) break;
            } else {
                keptRun = 0;
                end = k + 1;
            }
        }
        const std::size_t stop = std::min(all.size(), end + kContext);
        std::size_t oldCount = 0, newCount = 0;
        for (std::size_t k = start; k < stop; ++k) {
            if (all[k].kind != '+') ++oldCount;
            if (all[k].kind != '-') ++newCount;
        }
        out += "@@ -" + std::to_string(oldCount ? oldStart : oldStart - 1) + "," + std::to_string(oldCount) + " +" +
               std::to_string(newCount ? newStart : newStart - 1) + "," + std::to_string(newCount) + " @@\n";
        for (std::size_t k = start; k < stop; ++k) appendLine(out, all[k]);
        oldLine = oldStart + oldCount;
        newLine = newStart + newCount;
        at = stop;
    }
    return out;
}

}  // namespace

std::string patchPath(const std::string& path) {
    namespace fs = std::filesystem;
    const auto escapes = [](const fs::path& p) { return p.empty() || *p.begin() == ".."; };
    fs::path normal = fs::path(path).lexically_normal();
    if (normal.is_relative() && !escapes(normal)) return normal.generic_string();
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    const fs::path current = fs::current_path(error);
    const fs::path relative = absolute.lexically_relative(current);
    if (!error && !escapes(relative)) return relative.generic_string();
    // Outside the current directory but in its work tree: as git names it
    // from the top, where git apply takes it.
    const std::string top = vimbo::project::workTreeAbove(current.string());
    if (!top.empty()) {
        const fs::path fromTop = fs::weakly_canonical(absolute, error).lexically_relative(top);
        if (!error && !escapes(fromTop)) return fromTop.generic_string();
    }
    // Elsewhere: the path from the root of its file system.
    return absolute.relative_path().generic_string();
}

std::string unifiedDiff(const std::string& path, const std::string& oldBytes, const std::string& newBytes) {
    if (oldBytes == newBytes) return "";
    const std::vector<Line> before = splitLines(oldBytes), after = splitLines(newBytes);
    const std::string name = patchPath(path);
    return "--- " + quotedPath("a/", name) + "\n+++ " + quotedPath("b/", name) + "\n" + hunks(edits(before, after));
}

}  // namespace vimbo::batch
