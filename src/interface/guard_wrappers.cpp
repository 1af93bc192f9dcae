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

using vimbo::analysis::kByteOrderMark;

namespace {
// A file's lines, and the line break that ended each.
struct SourceLines {
    std::vector<std::string> texts;
    std::vector<std::string> endings;
};

// What a line is to the preprocessor, as far as wrappers go.
enum class Role { other, opening, include, closing };

bool readLines(TextReader& input, SourceLines& lines) {
    std::string text;
    for (;;) {
        const TextReader::Status status = input.readLine(text);
        if (status == TextReader::Status::error) return false;
        if (status == TextReader::Status::end) return true;
        lines.texts.push_back(text);
        lines.endings.push_back(input.ending());
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
        if (vimbo::analysis::breaksLinesAnotherWay(text)) trusted = false;
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
    SourceLines lines;
    const bool read = readLines(input, lines);
    input.close();
    if (!read) {
        report(kIoError);
        return false;
    }
    for (GuardWrapper& wrapper : findGuardWrappers(lines.texts))
        if (!wrapper.problem.empty()) wrong.push_back(std::move(wrapper));
    return true;
}

RewriteOutcome Vimbo::stripWrappers(TextReader& input, std::string& text) {
    RewriteOutcome outcome;
    SourceLines lines;
    if (!readLines(input, lines)) {
        outcome.ioError = true;
        return outcome;
    }
    const std::size_t count = lines.texts.size();
    std::vector<bool> removed(count, false);
    for (const GuardWrapper& wrapper : findGuardWrappers(lines.texts)) {
        if (strip_ == WrapperStrip::wrong && wrapper.problem.empty()) continue;
        const std::size_t include = wrapper.line - 1;
        removed[include - wrapper.depth] = removed[include + wrapper.depth] = true;
        outcome.changed = 1;
    }
    if (!outcome.changed) return outcome;
    // A closing line that ended the file without a line break leaves the
    // last line kept to end it so.
    if (removed.back() && lines.endings.back().empty()) {
        std::size_t last = count - 1;
        while (removed[last]) --last;  // the include line itself is always kept
        lines.endings[last].clear();
    }
    vimbo::platform::TextWriter output(text, vimbo::platform::kSystemLineEndings);
    for (std::size_t i = 0; i < count; ++i) {
        if (removed[i]) continue;
        output.write(lines.texts[i]);
        output.write(lines.endings[i]);
    }
    output.close();
    outcome.droppedText = input.droppedText();
    return outcome;
}
