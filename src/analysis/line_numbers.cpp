#include "analysis/line_numbers.h"

#include <algorithm>
#include <string_view>

#include "analysis/header_facts.h"
#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {

struct Line {
    std::string_view text, ending;
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    // A text without line feeds breaks its lines with lone carriage returns
    // (an old Mac file), as the rewrite read it.
    const char lineBreak = text.find('\n') == std::string_view::npos ? '\r' : '\n';
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find(lineBreak, start);
        if (end == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const std::size_t cut = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back({text.substr(start, cut - start), text.substr(cut, end + 1 - cut)});
        start = end + 1;
    }
    return lines;
}

enum class Conditional { none, opens, continues, closes };

Conditional conditionalOf(std::string_view name) {
    if (name == "if" || name == "ifdef" || name == "ifndef") return Conditional::opens;
    if (name == "else" || name == "elif" || name == "elifdef" || name == "elifndef") return Conditional::continues;
    if (name == "endif") return Conditional::closes;
    return Conditional::none;
}

bool namesLines(std::string_view name) {
    return name == "line" ||
           (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

// One group of a conditional: whether lines were inserted into it (they
// count even when the group is skipped, its "#line" then does not).
struct Group {
    bool inserted = false;  // in the group being read
    bool section = false;   // in an earlier group of the same #if ... #endif
};

// What a header's text tells the compiler and the run about it: the macro
// that controls it (gcc and clang open it once), or that it only forwards.
struct Control {
    std::string macro;
    bool forwarder = false;
    std::uint64_t insideFrom = 0, insideTo = 0;
    bool operator==(const Control& other) const { return macro == other.macro && forwarder == other.forwarder; }
};

Control controlOf(std::string_view text) {
    HeaderFacts facts;
    examineControl(text, facts);
    return {std::string(facts.controllingMacro()), facts.forwarder, facts.insideFrom, facts.insideTo};
}

}  // namespace

bool keepLineNumbers(const std::string& text, const LineOrigins& origins, std::string& out) {
    const std::vector<Line> lines = splitLines(text);
    if (lines.size() != origins.size()) return false;
    std::string_view fileEnding = "\n";
    for (const Line& line : lines)
        if (!line.ending.empty()) {
            fileEnding = line.ending;
            break;
        }
    // A directive outside a header's guard (before its "#ifndef", after its
    // "#endif") takes the guard away, and any but an include takes a
    // forwarder's: the compiler would open the header again and again, and
    // the run would wrap no include of it. Nothing there expands __LINE__
    // (only blank lines, comments, null directives and "#pragma once"
    // stand outside a guard; only includes in a forwarder), so there the
    // lines go without one.
    const Control control = controlOf(text);
    const bool guarded = !control.macro.empty();
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    SourceScanner scanner;
    std::vector<Group> groups(1);
    std::vector<bool> clean(lines.size());
    std::vector<std::size_t> held;  // blank and comment lines read while a "#line" is due
    bool due = false;
    std::string logical;  // the code of the logical line read so far
    const auto put = [&](std::size_t i) {
        result.append(lines[i].text);
        result.append(lines[i].ending);
    };
    const auto putHeld = [&] {
        for (std::size_t i : held) put(i);
        held.clear();
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view body = lines[i].text;
        if (i == 0 && body.substr(0, kByteOrderMark.size()) == kByteOrderMark) body.remove_prefix(kByteOrderMark.size());
        const ScannedLine scanned = scanner.feed(body);
        clean[i] = scanned.startsClean;
        const long origin = origins[i];
        if (origin <= 0) {  // an inserted line, or the include line it wraps
            putHeld();
            put(i);
            if (origin == 0) {
                groups.back().inserted = true;
                due = true;
            }
            continue;
        }
        logical.append(scanned.code);
        if (due && trimBlanks(scanned.code).empty()) {
            held.push_back(i);
        } else if (due) {
            // As early as a directive may stand: right after the wraps, or
            // once a comment that runs on from there has ended.
            held.push_back(i);
            const auto first = std::find_if(held.begin(), held.end(), [&](std::size_t h) { return clean[h]; });
            if (first == held.end()) return false;
            const auto at = static_cast<std::uint64_t>(lines[*first].text.data() - text.data());
            if (guarded && at < control.insideFrom) return false;  // nothing is inserted ahead of a guard
            for (auto h = held.begin(); h != first; ++h) put(*h);
            if (!control.forwarder && (!guarded || at <= control.insideTo)) {
                const std::string_view ending = lines[*first].ending.empty() ? fileEnding : lines[*first].ending;
                result += "#line " + std::to_string(origins[*first]);
                result.append(ending);
                groups.back().inserted = true;
            }
            for (auto h = first; h != held.end(); ++h) put(*h);
            held.clear();
            due = false;
        } else {
            put(i);
        }
        // A directive is known once its logical line ends (a comment that
        // spans lines is one blank within it).
        if (scanned.joinsNext) continue;
        std::string_view name, rest;
        const bool directive = readDirective(logical, name, rest);
        const Conditional conditional = directive ? conditionalOf(name) : Conditional::none;
        const bool setsLines = directive && namesLines(name);
        logical.clear();
        if (setsLines) return false;
        switch (conditional) {
        case Conditional::opens:
            groups.emplace_back();
            break;
        case Conditional::continues:
            if (groups.size() > 1 && groups.back().inserted) {
                groups.back().section = true;
                groups.back().inserted = false;
                due = true;
            }
            break;
        case Conditional::closes:
            if (groups.size() > 1) {
                const bool inserted = groups.back().inserted || groups.back().section;
                groups.pop_back();
                if (inserted) {
                    groups.back().inserted = true;
                    due = true;
                }
            }
            break;
        case Conditional::none:
            break;
        }
    }
    putHeld();
    // What the rules above keep, checked as the run reads the header again.
    if (!(controlOf(result) == control)) return false;
    out = std::move(result);
    return true;
}

}  // namespace vimbo::analysis
