#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "analysis/guard_analyzer.h"
#include "analysis/guard_tracking.h"
#include "analysis/guarded_text.h"
#include "analysis/header_facts.h"
#include "analysis/include_rules.h"
#include "analysis/opt_out.h"
#include "analysis/source_scanner.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/processor.h"

using vimbo::analysis::breaksLinesAnotherWay;
using vimbo::analysis::kByteOrderMark;
using vimbo::platform::TextReader;

namespace vimbo::rewrite {

namespace {
// The guarded text, whose lines wrapIncludeLine ends in "\n", with the line
// breaks of the file: the inserted lines take the include line's ending; a
// last line without one stays the last line without one.
std::string withEndings(const std::string& guarded, std::string_view ending, std::string_view fileEnding) {
    const std::string_view inner = ending.empty() ? fileEnding : ending;
    std::string text;
    text.reserve(guarded.size() + 8);
    for (std::string::size_type i = 0; i < guarded.size(); ++i) {
        if (guarded[i] != '\n')
            text += guarded[i];
        else
            text += i + 1 == guarded.size() ? ending : inner;
    }
    return text;
}
}  // namespace

IncludeChange changeAt(std::string_view line, long origin, const std::string& macro) {
    // Trimmed as an audit's wrapper is, so both name a directive alike.
    const std::string_view directive = vimbo::analysis::trimBlanks(line);
    IncludeChange change;
    change.line = static_cast<std::size_t>(origin);
    change.column = directive.empty() ? 1 : static_cast<std::size_t>(directive.data() - line.data()) + 1;
    change.directive = std::string(directive);
    change.macro = macro;
    return change;
}

namespace {
// The last macro tested as the library reads the line's tests (see testedMacro).
void trackIfndef(const std::string& line, std::string& lastTested) {
    std::string macro = vimbo::analysis::testedMacro(line);
    if (!macro.empty()) lastTested = std::move(macro);
}

// The last macro tested as a compiler reads the tests: every spelling counts.
void trackTestedMacro(const vimbo::analysis::ScannedLine& scanned, bool cplusplus, std::string& lastTested) {
    std::string_view name, rest;
    if (!scanned.startsClean || !vimbo::analysis::readDirective(scanned.code, name, rest)) return;
    std::string macro = vimbo::analysis::guardTest(name, rest, cplusplus);
    if (!macro.empty()) lastTested = std::move(macro);
}
}  // namespace

namespace {
// Whether line `number` of the input lies in one of the ranges (sorted).
bool withinLines(const std::vector<std::pair<std::size_t, std::size_t>>& ranges, long number) {
    const auto line = static_cast<std::size_t>(number);
    const auto after = std::upper_bound(ranges.begin(), ranges.end(), line,
                                        [](std::size_t at, const std::pair<std::size_t, std::size_t>& range) {
                                            return at < range.first;
                                        });
    return after != ranges.begin() && line <= std::prev(after)->second;
}
}  // namespace

RewriteOutcome Vimbo::rewriteLines(TextReader& input, vimbo::platform::TextWriter& output, const LinePass& pass) {
    RewriteOutcome outcome;
    // The last macro an "#ifndef" of the file tested, whose include is not
    // wrapped again; every pass over a file starts without one.
    std::string lastIfndefMacro;
    vimbo::analysis::GuardAnalyzer& guards = analyzer();
    const vimbo::analysis::HeaderLookup headers = lookup();
    const std::string includer = settings_->inputFile();
    vimbo::analysis::SourceScanner scanner;
    vimbo::analysis::OptOutTracker optOut;
    bool firstLine = true, linesTrusted = true;
    std::string line;
    std::string_view fileEnding;  // the first line break of the file
    std::size_t index = 0;        // of the line read
    bool plain = false;  // no line from here on holds an include
    bool maybeSwitchedOn = false;  // marks in lines copied unread
    // A file whose every line break is a lone carriage return (an old Mac
    // file, which compilers read line by line) is read as one line; its
    // lines are then taken from that one by one, each with its own "\r".
    std::string crLines;
    std::size_t crAt = 0;             // where the next of them begins
    std::uint64_t crLinesOffset = 0;  // where they begin in the input
    const auto fromCrLines = [&] { return crAt < crLines.size(); };
    while (!outcome.ioError && (fromCrLines() || input.good())) {
        const bool crLine = fromCrLines();
        const std::uint64_t lineStart = crLine ? crLinesOffset + crAt : input.offset();
        plain = plain || lineStart >= pass.plainFrom;
        if (plain && !crLine && input.keepsEveryByte() && !pass.inputOrigins) {
            // The rest as it is read: a copy, and the lines' numbers in order
            // (a last line without a break counts too).
            bool lineOpen = false;
            const auto take = [&](std::string_view piece) {
                output.write(piece);
                // An "on" may come behind the last include: no warning then.
                if (piece.find("vimbo:") != std::string_view::npos) maybeSwitchedOn = true;
                if (!pass.outputOrigins) return;
                for (char c : piece)
                    if (c == '\n') pass.outputOrigins->push_back(static_cast<long>(++index));
                lineOpen = piece.back() != '\n';
            };
            if (input.readRest(take) == TextReader::Status::error) outcome.ioError = true;
            if (lineOpen) pass.outputOrigins->push_back(static_cast<long>(++index));
            if (output.failed()) outcome.ioError = true;
            break;
        }
        std::string_view ending;
        if (crLine) {
            const std::size_t cr = crLines.find('\r', crAt);
            const std::size_t end = cr == std::string::npos ? crLines.size() : cr;
            line.assign(crLines, crAt, end - crAt);
            ending = cr == std::string::npos ? "" : "\r";
            crAt = cr == std::string::npos ? end : end + 1;
        } else {
            // Whole lines, however long, so that none is split in the output.
            TextReader::Status status = input.readLine(line);
            if (status == TextReader::Status::error) {
                outcome.ioError = true;
                continue;
            }
            if (status == TextReader::Status::end) break;
            ending = input.ending();
            // The first line without a line feed after it is the whole file.
            if (firstLine && ending.empty() && input.keepsEveryByte() &&
                headers.rules == vimbo::analysis::LookupRules::compiler && line.find('\r') != std::string::npos) {
                crLines = std::move(line);
                crAt = 0;
                crLinesOffset = lineStart;
                continue;
            }
        }
        const std::uint64_t lineEnd = crLine ? crLinesOffset + crAt : input.offset();
        if (fileEnding.empty()) fileEnding = ending;
        const long origin = !pass.inputOrigins ? static_cast<long>(index + 1)
                            : index < pass.inputOrigins->size() ? (*pass.inputOrigins)[index] : 0;
        ++index;
        const auto copyLine = [&] {
            output.write(line);
            output.write(ending);
            if (pass.outputOrigins) pass.outputOrigins->push_back(origin);
        };
        if (plain) {
            if (line.find("vimbo:") != std::string::npos) maybeSwitchedOn = true;
            copyLine();
            if (output.failed()) outcome.ioError = true;
            continue;
        }
        if (headers.rules == vimbo::analysis::LookupRules::library) trackIfndef(line, lastIfndefMacro);
        // A byte-order mark stays the first bytes of the file: its line is
        // read without it and never wrapped.
        std::string_view text = line;
        const bool byteOrderMark = firstLine && text.substr(0, kByteOrderMark.size()) == kByteOrderMark;
        if (byteOrderMark) text.remove_prefix(kByteOrderMark.size());
        firstLine = false;
        if (breaksLinesAnotherWay(text)) linesTrusted = false;
        const vimbo::analysis::ScannedLine scanned = scanner.feed(text);
        // A compiler's reading of the tests in front of an include: any
        // spelling of "#ifndef M" counts, nothing inside a comment does.
        if (headers.rules == vimbo::analysis::LookupRules::compiler) trackTestedMacro(scanned, headers.cplusplus, lastIfndefMacro);
        const bool marked = options_.honourOptOut && optOut.leaveAlone(text, scanner.commentStarts());
        const bool optedOut = marked || (options_.onlyLines && !withinLines(*options_.onlyLines, std::abs(origin)));
        vimbo::analysis::IncludeName unfound;
        const std::string path =
            byteOrderMark || optedOut ? ""
                          : vimbo::analysis::wrappableHeader(line, scanned, linesTrusted && !scanner.uncertain(),
                                                             includer, headers, guards.finder(),
                                                             options_.precompiledHeaders, pass.unfound ? &unfound : nullptr);
        if (!unfound.name.empty())
            pass.unfound->push_back({changeAt(line, std::abs(origin), ""), unfound.name, unfound.quoted});
        bool wrapped = false;
        std::string guard = path.empty() ? "" : guards.verifiedGuardMacro(path, headers);
        std::string_view directive, operand;
        const bool next = !guard.empty() && vimbo::analysis::readDirective(scanned.code, directive, operand) &&
                          directive == "include_next";
        if (next ? !guards.includeNextAgrees(scanned, includer, path, guard, headers, options_.otherLookups)
                 : !guard.empty() && !guards.sameInLookups(line, includer, path, guard, options_.otherLookups))
            guard.clear();
        const std::string guarded =
            guard.empty() ? "" : vimbo::analysis::wrapIncludeLine(line, guard, lastIfndefMacro, &wrapped);
        // Left alone, perhaps because the test before it names its guard: a
        // test inserted above changes that on another pass.
        if (!wrapped && !guard.empty() && outcome.changed) outcome.mayWrapMore = true;
        if (wrapped) {
            outcome.changed = true;
            outcome.wrapsFrom = std::min(outcome.wrapsFrom, lineStart);
            outcome.wrapsTo = lineEnd;
            output.write(withEndings(guarded, ending, fileEnding.empty() ? "\n" : fileEnding));
            if (pass.outputOrigins) pass.outputOrigins->insert(pass.outputOrigins->end(), {0, -std::abs(origin), 0});
            if (options_.recordChanges && pass.changes) pass.changes->push_back(changeAt(line, std::abs(origin), guard));
        } else {
            copyLine();
        }
        if (output.failed()) outcome.ioError = true;
    }
    outcome.droppedText = !outcome.ioError && outcome.changed && input.droppedText();
    if (options_.honourOptOut && !maybeSwitchedOn && !outcome.ioError) {
        outcome.unclosedOffLine = optOut.unclosedOffLine();
        outcome.unclosedOffColumn = optOut.unclosedOffColumn();
    }
    return outcome;
}

}  // namespace vimbo::rewrite
