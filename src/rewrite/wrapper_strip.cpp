// The external guards a file already has: those that are wrong, reported
// (--audit), or taken away (--strip, --strip-wrong) through file mode.
#include <string_view>
#include <vector>

#include "analysis/external_guards.h"
#include "analysis/source_scanner.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/processor.h"

using vimbo::analysis::GuardWrapper;
using vimbo::platform::TextReader;

namespace {
// A file's lines, and the line break that ended each.
struct SourceLines {
    std::vector<std::string> texts;
    std::vector<std::string> endings;
};

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

}  // namespace

bool Vimbo::auditFile(std::vector<GuardWrapper>& wrong) {
    failure_ = Failure::none;
    lastMessage_.clear();
    TextReader input(fs_, settings->inputFile());
    if (!input.isOpen()) {
        report(Failure::cantOpenInput, kCantOpenInput);
        return false;
    }
    SourceLines lines;
    const bool read = readLines(input, lines);
    input.close();
    if (!read) {
        report(Failure::ioError, kIoError);
        return false;
    }
    for (GuardWrapper& wrapper : vimbo::analysis::findGuardWrappers(lines.texts, settings->inputFile(), lookup(), analyzer()))
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
    for (const GuardWrapper& wrapper :
         vimbo::analysis::findGuardWrappers(lines.texts, settings->inputFile(), lookup(), analyzer())) {
        if (options_.strip == WrapperStrip::wrong && wrapper.problem.empty()) continue;
        const std::size_t include = wrapper.line - 1;
        removed[include - wrapper.depth] = removed[include + wrapper.depth] = true;
        outcome.changed = true;
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
