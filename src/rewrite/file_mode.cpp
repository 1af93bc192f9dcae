// File mode: every line goes to the scratch file through the rewriting loop;
// the scratch file replaces the target only when something was guarded and
// nothing failed.
#include <optional>

#include "analysis/header_cache.h"
#include "analysis/line_numbers.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/processor.h"

using vimbo::platform::LineEndings;
using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

namespace vimbo::rewrite {

namespace {
// A bound for text whose wraps keep enabling others (none is known to).
constexpr int kMaxSettlingPasses = 16;
}  // namespace

RewriteOutcome Vimbo::rewriteSettled(TextReader& input, std::string& text, std::vector<IncludeChange>& changes,
                                     std::uint64_t plainFrom, std::vector<UnfoundInclude>* unfound) {
    const LineEndings endings = vimbo::platform::kSystemLineEndings;
    // Where each line of the text came from, for the "#line" directives.
    vimbo::analysis::LineOrigins origins, nextOrigins;
    RewriteOutcome first;
    // Origins serve the "#line" directives and the changes' line numbers.
    const bool track = options_.keepLines || options_.recordChanges;
    changes.clear();
    // Room for the text and a few wraps; a longer text still grows.
    const std::size_t hint = input.sizeHint();
    text.reserve(hint + hint / 16);
    {
        TextWriter memory(text, endings);
        first = rewriteLines(input, memory, {plainFrom, nullptr, track ? &origins : nullptr, &changes, unfound});
        memory.close();
    }
    bool again = first.mayWrapMore && first.changed && !first.ioError && !first.droppedText;
    for (int pass = 2; again && pass <= kMaxSettlingPasses; ++pass) {
        TextReader pending(TextReader::Bytes{text}, endings);
        std::string next;
        next.reserve(text.size() + text.size() / 16);
        TextWriter memory(next, endings);
        nextOrigins.clear();
        const RewriteOutcome outcome =
            rewriteLines(pending, memory,
                         {UINT64_MAX, track ? &origins : nullptr, track ? &nextOrigins : nullptr, &changes});
        if (!outcome.changed) break;
        first.wrapsFrom = first.wrapsTo = UINT64_MAX;  // offsets of another text
        memory.close();
        text = std::move(next);
        origins.swap(nextOrigins);
        again = outcome.mayWrapMore;
    }
    // A text whose lines can't keep their numbers is not rewritten at all.
    if (options_.keepLines && first.changed && !first.ioError && !first.droppedText &&
        !vimbo::analysis::keepLineNumbers(std::string(text), origins, text))
        first.changed = false;
    if (!first.changed) changes.clear();
    if (options_.keepLines) first.wrapsFrom = first.wrapsTo = UINT64_MAX;  // "#line" lines came in too
    return first;
}

// The text settles in memory first; only a file that changes needs the
// scratch file, which then gets the settled bytes as they are.
int Vimbo::processSettled(FileRunResult& result, TextReader& input, std::uint64_t plainFrom,
                          const vimbo::platform::FileIdentity* read, bool& readAnew) {
    std::string text;
    const RewriteOutcome outcome = options_.strip == vimbo::engine::Strip::none
                                       ? rewriteSettled(input, text, result.changes, plainFrom, &result.unfound)
                                       : stripWrappers(input, text, result.changes);
    input.close();
    result.unclosedOffLine = outcome.unclosedOffLine;
    result.unclosedOffColumn = outcome.unclosedOffColumn;
    if (outcome.ioError && input.differsFromKnown()) {
        readAnew = true;
        return 0;
    }
    if (outcome.ioError) {
        report(result, Failure::ioError, kIoError);
        return outcome.changed;
    }
    if (outcome.droppedText) {
        report(result, Failure::textWouldChange, kTextWouldChange);
        return outcome.changed;
    }
    if (!outcome.changed) return 0;
    if (options_.commitLater) {
        prepareRewrite(result, text, outcome, read);
        return outcome.changed;
    }
    std::optional<TextWriter> scratch;
    const std::string scratchName = createScratch(result, scratch);
    if (scratchName.empty()) return outcome.changed;
    scratch->write(text);
    // Put on disk before a rename publishes it: a power cut can't take it back then.
    const bool onDisk = scratch->sync();
    if (!scratch->close() || !onDisk) {
        report(result, Failure::ioError, kIoError);
        fs_.remove(scratchName);
        return outcome.changed;
    }
    if (!commitOutput(result, read)) fs_.remove(scratchName);
    return outcome.changed;
}

int Vimbo::processFile() { return rewriteFile().status; }

FileRunResult Vimbo::rewriteFile() {
    FileRunResult result;
    result.scratchPath = defaultScratchPath();
    // A file of a batch run was read once already (the index): its version
    // is known, and held to at the commit.
    vimbo::platform::FileIdentity known;
    const bool runKnows = options_.settle && shared_.headers && settings_->inputFile() == settings_->outputFile() &&
                          shared_.headers->knownVersion(settings_->inputFile(), known);
    // Wrapping changes only include lines: where the index read the known
    // version, the text behind its last "include" is only copied, and a
    // file without one is left as it is without a second read.
    const std::uint64_t plainFrom = runKnows && options_.strip == vimbo::engine::Strip::none
                     ? shared_.headers->includeWordEnd(settings_->inputFile(), known)
                     : vimbo::analysis::HeaderFacts::kUnknownOffset;
    if (plainFrom == 0) return result;
    bool readAnew = false;
    result.status = processFileAs(result, runKnows ? &known : nullptr, plainFrom, readAnew);
    if (!readAnew) return result;
    readAnew = false;
    result.status = processFileAs(result, nullptr, vimbo::analysis::HeaderFacts::kUnknownOffset, readAnew);
    return result;
}

int Vimbo::processFileAs(FileRunResult& result, const vimbo::platform::FileIdentity* known, std::uint64_t plainFrom,
                         bool& readAnew) {
    // A read again starts anew, but for the leftovers the first one met.
    result.failure = Failure::none;
    result.message.clear();
    result.changes.clear();
    result.unfound.clear();
    result.unclosedOffLine = result.unclosedOffColumn = 0;
    result.scratchPath = defaultScratchPath();
    result.prepared.reset();

    TextReader input(fs_, settings_->inputFile(), vimbo::platform::kSystemLineEndings, known);
    // The version of the input that was read, when its open told it: the
    // file an in-place commit takes away.
    vimbo::platform::FileIdentity inputRead;
    const bool inputReadKnown = input.openedIdentity(inputRead);
    const vimbo::platform::FileIdentity* const read =
        inputReadKnown && settings_->inputFile() == settings_->outputFile() ? &inputRead : nullptr;
    if (!input.isOpen()) {
        report(result, Failure::cantOpenInput, kCantOpenInput);
        return 0;
    }
    if (options_.settle) return processSettled(result, input, plainFrom, read, readAnew);
    // Never truncate a file that already has the scratch name: it may be the
    // only copy left by an earlier run whose rename failed.
    TextWriter scratch(fs_, result.scratchPath, TextWriter::Create::newOnly);
    if (!scratch.isOpen()) {
        report(result, Failure::cantCreateScratch, kCantCreateTemp);
        return 0;
    }

    const RewriteOutcome outcome = rewriteLines(input, scratch, {UINT64_MAX, nullptr, nullptr, &result.changes, &result.unfound});
    result.unclosedOffLine = outcome.unclosedOffLine;
    result.unclosedOffColumn = outcome.unclosedOffColumn;
    // Put on disk before a rename publishes it (only a changed text is).
    const bool onDisk = !outcome.changed || scratch.sync();
    const bool ioError = !scratch.close() || !onDisk || outcome.ioError;
    input.close();

    bool scratchGone = false;
    if (ioError)
        report(result, Failure::ioError, kIoError);
    else if (outcome.droppedText)
        report(result, Failure::textWouldChange, kTextWouldChange);
    else if (outcome.changed)
        scratchGone = commitOutput(result, read);
    if (!scratchGone) fs_.remove(result.scratchPath);
    return outcome.changed;
}

}  // namespace vimbo::rewrite
