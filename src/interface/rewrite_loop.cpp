#include <cstdlib>
#include <string_view>

#include "analysis/source_scanner.h"
#include "interface/vimbo.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::analysis::breaksLinesAnotherWay;
using vimbo::analysis::kByteOrderMark;
using vimbo::platform::TextReader;

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

bool Vimbo::sameInOtherLookups(const std::string& line, const std::string& header, const std::string& guard) {
    const std::string searchPath = settings->includePath(), quotePath = quotePath_;
    bool same = true;
    for (const auto& [otherSearch, otherQuote] : otherLookups_) {
        settings->setIncludePath(otherSearch);
        quotePath_ = otherQuote;
        const std::string other = nestedHeader(line, settings->inputFile());
        if (!other.empty() && (other != header || verifiedGuardMacro(other) != guard)) same = false;
        if (!same) break;
    }
    settings->setIncludePath(searchPath);
    quotePath_ = quotePath;
    return same;
}

RewriteOutcome Vimbo::rewriteLines(TextReader& input, vimbo::platform::TextWriter& output) {
    RewriteOutcome outcome;
    vimbo::analysis::SourceScanner scanner;
    bool firstLine = true, linesTrusted = true;
    std::string line;
    std::string_view fileEnding;  // the first line break of the file
    std::size_t index = 0;        // of the line read
    while (!outcome.ioError && input.good()) {
        // Whole lines, however long, so that none is split in the output.
        TextReader::Status status = input.readLine(line);
        if (status == TextReader::Status::error) {
            outcome.ioError = true;
            continue;
        }
        if (status == TextReader::Status::end) break;
        const std::string_view ending = input.ending();
        if (fileEnding.empty()) fileEnding = ending;
        const long origin = !inputOrigins_ ? static_cast<long>(index + 1)
                            : index < inputOrigins_->size() ? (*inputOrigins_)[index] : 0;
        ++index;
        trackIfndef(line);
        // A byte-order mark stays the first bytes of the file: its line is
        // read without it and never wrapped.
        std::string_view text = line;
        const bool byteOrderMark = firstLine && text.substr(0, kByteOrderMark.size()) == kByteOrderMark;
        if (byteOrderMark) text.remove_prefix(kByteOrderMark.size());
        firstLine = false;
        if (breaksLinesAnotherWay(text)) linesTrusted = false;
        const vimbo::analysis::ScannedLine scanned = scanner.feed(text);
        const std::string path =
            byteOrderMark ? "" : locateWrappableInclude(line, scanned, linesTrusted && !scanner.uncertain());
        unsigned char wrapped = 0;
        std::string guard = path.empty() ? "" : verifiedGuardMacro(path);
        if (!guard.empty() && !otherLookups_.empty() && !sameInOtherLookups(line, path, guard)) guard.clear();
        const std::string guarded = guard.empty() ? "" : wrapIncludeLine(line, guard, lastIfndefMacro, &wrapped);
        // Left alone, perhaps because the test before it names its guard: a
        // test inserted above changes that on another pass.
        if (!wrapped && !guard.empty() && outcome.changed) outcome.mayWrapMore = true;
        if (wrapped) {
            outcome.changed = 1;
            output.write(withEndings(guarded, ending, fileEnding.empty() ? "\n" : fileEnding));
            if (outputOrigins_) outputOrigins_->insert(outputOrigins_->end(), {0, -std::abs(origin), 0});
        } else {
            output.write(line);
            output.write(ending);
            if (outputOrigins_) outputOrigins_->push_back(origin);
        }
        if (output.failed()) outcome.ioError = true;
    }
    outcome.droppedText = !outcome.ioError && outcome.changed && input.droppedText();
    return outcome;
}
