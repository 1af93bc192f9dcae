#include "interface/vimbo.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;

RewriteOutcome Vimbo::rewriteLines(TextReader& input, vimbo::platform::TextWriter& output,
                                   std::vector<bool>* wrapped) {
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
        bool guarded = false;
        if (path.empty()) {
            output.write(line);
            output.write("\n");
        } else {
            const std::string guard = findGuardMacro(path);
            const std::string text = wrapIncludeLine(line, guard, lastIfndefMacro, &outcome.changed);
            guarded = text.size() > line.size() + 1;  // more than the line and its break
            output.write(text);
        }
        if (wrapped) wrapped->push_back(guarded);
        if (output.failed()) outcome.ioError = true;
    }
    outcome.droppedText = !outcome.ioError && outcome.changed && input.droppedText();
    return outcome;
}
