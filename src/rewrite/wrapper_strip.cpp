// The external guards a file already has: those that are wrong, reported
// (--audit), or taken away (--strip, --strip-wrong) through file mode.
#include <string_view>
#include <vector>

#include "analysis/external_guards.h"
#include "analysis/opt_out.h"
#include "analysis/source_scanner.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/processor.h"

using vimbo::analysis::GuardWrapper;
using vimbo::platform::TextReader;

namespace vimbo::rewrite {

namespace {
// "#line N" as --keep-lines writes it, and N.
bool lineNumberDirective(const std::string& text, std::size_t& number) {
    static const std::string directive = "#line ";
    if (text.size() <= directive.size() || text.size() > directive.size() + 9 || text.compare(0, directive.size(), directive) != 0)
        return false;
    number = 0;
    for (std::size_t i = directive.size(); i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    return number > 0;
}

// A file's lines, and the line break that ended each.
struct SourceLines {
    std::vector<std::string> texts;
    std::vector<std::string> endings;
};

// With `carriageReturns`, a file whose every line break is a lone carriage
// return (an old Mac file) has those lines, as a compiler and the rewrite
// read it.
bool readLines(TextReader& input, SourceLines& lines, bool carriageReturns) {
    std::string text;
    for (;;) {
        const TextReader::Status status = input.readLine(text);
        if (status == TextReader::Status::error) return false;
        if (status == TextReader::Status::end) break;
        lines.texts.push_back(text);
        lines.endings.push_back(input.ending());
    }
    if (!carriageReturns || !input.keepsEveryByte() || lines.texts.size() != 1 || !lines.endings[0].empty() ||
        lines.texts[0].find('\r') == std::string::npos)
        return true;
    const std::string whole = std::move(lines.texts[0]);
    lines.texts.clear();
    lines.endings.clear();
    for (std::size_t at = 0; at < whole.size();) {
        const std::size_t cr = whole.find('\r', at);
        const std::size_t end = cr == std::string::npos ? whole.size() : cr;
        lines.texts.push_back(whole.substr(at, end - at));
        lines.endings.push_back(cr == std::string::npos ? "" : "\r");
        at = cr == std::string::npos ? end : end + 1;
    }
    return true;
}

}  // namespace

// The file's wrappers, but those that "vimbo: off" or "keep" marks (at the
// include or at its opening line).
std::vector<GuardWrapper> Vimbo::wrappersOf(const std::vector<std::string>& texts) {
    std::vector<GuardWrapper> wrappers =
        vimbo::analysis::findGuardWrappers(texts, settings_->inputFile(), lookup(), analyzer());
    if (!options_.honourOptOut) return wrappers;
    std::vector<bool> alone(texts.size());
    vimbo::analysis::OptOutTracker optOut;
    vimbo::analysis::SourceScanner scanner;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        scanner.feed(texts[i]);
        alone[i] = optOut.leaveAlone(texts[i], scanner.commentStarts());
    }
    std::vector<GuardWrapper> kept;
    for (GuardWrapper& wrapper : wrappers)
        if (!alone[wrapper.line - 1] && !alone[wrapper.line - 1 - wrapper.depth]) kept.push_back(std::move(wrapper));
    return kept;
}

FileRunResult Vimbo::auditFile(std::vector<GuardWrapper>& wrong) {
    FileRunResult result;
    result.scratchPath = defaultScratchPath();
    TextReader input(fs_, settings_->inputFile());
    if (!input.isOpen()) {
        report(result, Failure::cantOpenInput, kCantOpenInput);
        return result;
    }
    SourceLines lines;
    const bool read = readLines(input, lines, lookup().rules == vimbo::analysis::LookupRules::compiler);
    input.close();
    if (!read) {
        report(result, Failure::ioError, kIoError);
        return result;
    }
    for (GuardWrapper& wrapper : wrappersOf(lines.texts)) {
        if (wrapper.problem.empty()) continue;
        result.changes.push_back(
            changeAt(lines.texts[wrapper.line - 1], static_cast<long>(wrapper.line), wrapper.macro));
        wrong.push_back(std::move(wrapper));
    }
    return result;
}

RewriteOutcome Vimbo::stripWrappers(TextReader& input, std::string& text, std::vector<IncludeChange>& changes) {
    RewriteOutcome outcome;
    SourceLines lines;
    if (!readLines(input, lines, lookup().rules == vimbo::analysis::LookupRules::compiler)) {
        outcome.ioError = true;
        return outcome;
    }
    const std::size_t count = lines.texts.size();
    std::vector<bool> removed(count, false);
    changes.clear();
    for (const GuardWrapper& wrapper : wrappersOf(lines.texts)) {
        if (options_.strip == vimbo::engine::Strip::wrong && wrapper.problem.empty()) continue;
        const std::size_t include = wrapper.line - 1;
        if (options_.recordChanges)
            changes.push_back(changeAt(lines.texts[include], static_cast<long>(wrapper.line), wrapper.macro));
        removed[include - wrapper.depth] = removed[include + wrapper.depth] = true;
        outcome.changed = true;
    }
    if (!outcome.changed) return outcome;
    // The "#line N" that --keep-lines wrote after a wrap goes with it where
    // the line after it then has that number anyway: the text comes back.
    std::size_t next = 1;  // the number of the next line kept
    for (std::size_t i = 0; i < count; ++i) {
        if (removed[i]) continue;
        std::size_t number = 0;
        if (!lineNumberDirective(lines.texts[i], number)) {
            ++next;
        } else if (i > 0 && removed[i - 1] && number == next) {
            removed[i] = true;
        } else {
            next = number;
        }
    }
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

}  // namespace vimbo::rewrite
