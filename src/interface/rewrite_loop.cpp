#include "interface/vimbo.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;

RewriteOutcome Vimbo::rewriteLines(TextReader& input, vimbo::platform::TextWriter& output) {
    RewriteOutcome outcome;
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
        const std::string path = locateIncludeFile(line);
        if (path.empty()) {
            output.write(line);
            output.write("\n");
        } else {
            const std::string guard = findGuardMacro(path);
            output.write(wrapIncludeLine(line, guard, lastIfndefMacro, &outcome.changed));
        }
        if (output.failed()) outcome.ioError = true;
    }
    outcome.droppedText = !outcome.ioError && outcome.changed && input.droppedText();
    return outcome;
}
