// File mode: every line goes to the scratch file through the rewriting loop;
// the scratch file replaces the target only when something was guarded and
// nothing failed.
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
    lastMessage_ = message;
    if (!printMessages_) return;
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
}

int Vimbo::processFile() {
    failed_ = false;
    lastMessage_.clear();

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

    const RewriteOutcome outcome = rewriteLines(input, scratch);
    const bool ioError = !scratch.close() || outcome.ioError;
    input.close();

    bool scratchGone = false;
    if (ioError)
        report(kIoError);
    else if (outcome.droppedText)
        report(kTextWouldChange);
    else if (outcome.changed)
        scratchGone = commitOutput();
    if (!scratchGone) vimbo::platform::fileSystem().remove(kScratchFileName);
    return outcome.changed;
}
