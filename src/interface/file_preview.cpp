// File mode without the file system's side of it: the same loop, into memory.
#include "interface/vimbo.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

FilePreview Vimbo::previewFile() {
    FilePreview preview;
    const std::string inputFile = settings->inputFile();
    vimbo::platform::TextReader input(inputFile);
    preview.opened = input.isOpen();
    if (!preview.opened) return preview;
    preview.isLink = vimbo::platform::fileSystem().isLink(settings->outputFile());
    vimbo::platform::TextWriter output;
    preview.outcome = rewriteLines(input, output, &preview.wrapped);
    preview.text = output.text();
    return preview;
}
