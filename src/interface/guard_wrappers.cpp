// Finding the external guards a file already has, judging them, and taking
// them away. A wrapper counts when its macro is tied to the header: the
// macro controls it, is the header's own first test (the guard an unchecked
// tool would have taken), or is named after the header file. Any other
// "#ifndef" before an include tests a feature and is none of our business.
#include "interface/guard_wrappers.h"

#include <string_view>
#include <vector>

#include "analysis/guard_wrapper.h"
#include "analysis/include_directive.h"
#include "analysis/source_scanner.h"
#include "interface/messages.h"
#include "interface/vimbo.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct SourceLine {
    std::string text;
    std::string ending;
};

// What a line is to the preprocessor, as far as wrappers go.
enum class Role { other, opening, include, closing };

bool readLines(TextReader& input, std::vector<SourceLine>& lines) {
    std::string text;
    for (;;) {
        const TextReader::Status status = input.readLine(text);
        if (status == TextReader::Status::error) return false;
        if (status == TextReader::Status::end) return true;
        lines.push_back({text, input.ending()});
    }
}

std::string trimmed(const std::string& text) {
    const std::string_view view = vimbo::analysis::trimBlanks(text);
    return std::string(view);
}
}  // namespace

std::string describeWrongWrapper(const std::string& path, const GuardWrapper& wrapper) {
    return path + ":" + std::to_string(wrapper.line) + ": " + wrapper.directive + " is wrapped in " + wrapper.macro +
           ", but " + wrapper.name + " " + wrapper.problem + "\n";
}

std::vector<GuardWrapper> Vimbo::findGuardWrappers(const std::vector<std::string>& lines) {
    // Each line's role, judged as in rewriting: a directive the preprocessor
    // sees, whole on its line, in text that reads the same as C and C++.
    std::vector<Role> roles(lines.size(), Role::other);
    std::vector<std::string> macros(lines.size());
    vimbo::analysis::SourceScanner scanner;
    bool trusted = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = lines[i];
        if (i == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            scanner.feed(text.substr(kByteOrderMark.size()));
            continue;  // the mark stays first: its line is never taken away
        }
        if (text.find('\r') != std::string_view::npos || text.find('\x1a') != std::string_view::npos) trusted = false;
        const vimbo::analysis::ScannedLine scanned = scanner.feed(text);
        if (!trusted || scanner.uncertain() || !scanned.startsClean || !scanned.endsClean ||
            text.find('\n') != std::string_view::npos)
            continue;
        std::string_view name, rest;
        if (!vimbo::analysis::readDirective(scanned.code, name, rest)) continue;
        if (name == "include") {
            roles[i] = Role::include;
        } else if (vimbo::analysis::wrapperClosing(scanned.code)) {
            roles[i] = Role::closing;
        } else {
            macros[i] = vimbo::analysis::wrapperOpening(scanned.code);
            if (!macros[i].empty()) roles[i] = Role::opening;
        }
    }

    std::vector<GuardWrapper> wrappers;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        if (roles[i] != Role::include) continue;
        IncludeKind kind;
        bool delimited;
        const std::string name = vimbo::analysis::parseIncludeOperand(lines[i], kind, delimited);
        if (!delimited) continue;  // a macro names the header
        std::string header;
        bool looked = false;
        for (std::size_t depth = 1; depth <= i && i + depth < lines.size(); ++depth) {
            if (roles[i - depth] != Role::opening || roles[i + depth] != Role::closing) break;
            GuardWrapper wrapper{i + 1, depth, trimmed(lines[i]), name, macros[i - depth], ""};
            if (!looked) header = nestedHeader(lines[i], settings->inputFile());
            looked = true;
            if (header.empty()) {
                if (!vimbo::analysis::macroNamesHeader(wrapper.macro, name)) continue;
                wrapper.problem = "is not found";
            } else if (!macroControlsHeader(header, wrapper.macro)) {
                const std::string candidate(vimbo::analysis::trimBlanks(findGuardMacro(header)));
                if (candidate != wrapper.macro && !vimbo::analysis::macroNamesHeader(wrapper.macro, name)) continue;
                const std::string guard = guardOfHeader(header);
                wrapper.problem = guard.empty() ? "has no guard that covers the whole file" : "is guarded by " + guard;
            }
            wrappers.push_back(std::move(wrapper));
        }
    }
    return wrappers;
}

bool Vimbo::auditFile(std::vector<GuardWrapper>& wrong) {
    failed_ = false;
    lastMessage_.clear();
    TextReader input(settings->inputFile());
    if (!input.isOpen()) {
        report(kCantOpenInput);
        return false;
    }
    std::vector<SourceLine> lines;
    const bool read = readLines(input, lines);
    input.close();
    if (!read) {
        report(kIoError);
        return false;
    }
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (SourceLine& line : lines) texts.push_back(std::move(line.text));
    for (GuardWrapper& wrapper : findGuardWrappers(texts))
        if (!wrapper.problem.empty()) wrong.push_back(std::move(wrapper));
    return true;
}

RewriteOutcome Vimbo::stripWrappers(TextReader& input, std::string& text) {
    RewriteOutcome outcome;
    std::vector<SourceLine> lines;
    if (!readLines(input, lines)) {
        outcome.ioError = true;
        return outcome;
    }
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const SourceLine& line : lines) texts.push_back(line.text);
    std::vector<bool> removed(lines.size(), false);
    for (const GuardWrapper& wrapper : findGuardWrappers(texts)) {
        if (strip_ == WrapperStrip::wrong && wrapper.problem.empty()) continue;
        const std::size_t include = wrapper.line - 1;
        removed[include - wrapper.depth] = removed[include + wrapper.depth] = true;
        outcome.changed = 1;
    }
    if (!outcome.changed) return outcome;
    // A closing line that ended the file without a line break leaves the
    // last line kept to end it so.
    if (removed.back() && lines.back().ending.empty()) {
        std::size_t last = lines.size() - 1;
        while (removed[last]) --last;  // the include line itself is always kept
        lines[last].ending.clear();
    }
    vimbo::platform::TextWriter output(text, vimbo::platform::kSystemLineEndings);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (removed[i]) continue;
        output.write(lines[i].text);
        output.write(lines[i].ending);
    }
    output.close();
    outcome.droppedText = input.droppedText();
    return outcome;
}
