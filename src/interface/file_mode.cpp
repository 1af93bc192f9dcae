// File mode: every line goes to the scratch file, include lines in guarded
// form where their header has a guard; the scratch file replaces the target
// only when something was guarded and nothing failed.
#include <cstdio>

#include "interface/messages.h"
#include "interface/scratch_file.h"
#include "interface/vimbo.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

void Vimbo::report(const std::string& message) {
    failed_ = true;
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
}

int Vimbo::processFile() {
    failed_ = false;
    unsigned char changed = 0;

    TextReader input(settings->inputFile());
    if (!input.isOpen()) {
        report(kCantOpenInput);
        return 0;
    }
    // Never truncate a file that already has the scratch name: it may be the
    // only copy left by an earlier run whose rename failed.
    TextWriter scratch(kScratchFileName, TextWriter::Create::newOnly);
    if (!scratch.isOpen()) {
        report(kCantCreateTemp);
        return 0;
    }

    bool ioError = false;
    std::string line;
    while (!ioError && input.good()) {
        // Whole lines, however long, so that none is split in the output.
        TextReader::Status status = input.readLine(line);
        if (status == TextReader::Status::error) {
            ioError = true;
            continue;
        }
        if (status == TextReader::Status::end) break;
        trackIfndef(line);
        const std::string path = locateIncludeFile(line);
        if (path.empty()) {
            scratch.write(line);
            scratch.write("\n");
        } else {
            const std::string guard = findGuardMacro(path);
            scratch.write(wrapIncludeLine(line, guard, lastIfndefMacro, &changed));
        }
        if (scratch.failed()) ioError = true;
    }
    const bool droppedText = !ioError && changed && input.droppedText();
    input.close();
    if (!scratch.close()) ioError = true;

    bool scratchGone = false;
    if (ioError)
        report(kIoError);
    else if (droppedText)
        report(kTextWouldChange);
    else if (changed)
        scratchGone = commitOutput();
    if (!scratchGone) vimbo::platform::fileSystem().remove(kScratchFileName);
    return changed;
}
