#include <string_view>

#include "analysis/source_scanner.h"
#include "interface/vimbo.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;

namespace {
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
}

RewriteOutcome Vimbo::rewriteLines(TextReader& input, vimbo::platform::TextWriter& output) {
    RewriteOutcome outcome;
    vimbo::analysis::SourceScanner scanner;
    bool firstLine = true;
    std::string line;
    while (!outcome.ioError && input.good()) {
        // Whole lines, however long, so that none is split in the output.
        TextReader::Status status = input.readLine(line);
        if (status == TextReader::Status::error) {
            outcome.ioError = true;
            continue;
        }
        if (status == TextReader::Status::end) break;
        trackIfndef(line);
        // A byte-order mark stays the first bytes of the file: its line is
        // read without it and never wrapped.
        std::string_view text = line;
        const bool byteOrderMark = firstLine && text.substr(0, kByteOrderMark.size()) == kByteOrderMark;
        if (byteOrderMark) text.remove_prefix(kByteOrderMark.size());
        firstLine = false;
        const vimbo::analysis::ScannedLine scanned = scanner.feed(text);
        const std::string path =
            byteOrderMark ? "" : locateWrappableInclude(line, scanned, !scanner.uncertain());
        if (path.empty()) {
            output.write(line);
            output.write("\n");
        } else {
            const std::string guard = verifiedGuardMacro(path);
            output.write(wrapIncludeLine(line, guard, lastIfndefMacro, &outcome.changed));
        }
        if (output.failed()) outcome.ioError = true;
    }
    outcome.droppedText = !outcome.ioError && outcome.changed && input.droppedText();
    return outcome;
}
