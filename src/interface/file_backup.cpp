// The ".Bak" copy of the input, taken before the target is replaced.
#include "analysis/path_parts.h"
#include "interface/vimbo.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"

using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

namespace {
std::string backupName(const std::string& inputFile) {
    vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(inputFile);
    parts.extension = ".Bak";
    return vimbo::analysis::joinPath(parts);
}
}  // namespace

int Vimbo::writeBackup() {
    const std::string inputFile = settings->inputFile();
    TextReader input(inputFile);
    if (!input.isOpen()) return 0;
    const std::string name = backupName(inputFile);
    // An input named x.Bak (or a link to it) would be truncated by its own backup.
    if (vimbo::platform::fileSystem().sameFile(inputFile, name)) return 0;
    TextWriter backup(name, TextWriter::Create::truncate);
    if (!backup.isOpen()) return 0;

    int ok = 1;
    std::string line;
    while (input.good() && !backup.failed()) {
        TextReader::Status status = input.readLine(line);
        if (status == TextReader::Status::error) {
            ok = 0;
            break;
        }
        if (status == TextReader::Status::end) break;
        backup.write(line);
        backup.write(input.ending());
        ok = backup.failed() ? 0 : 1;
    }
    input.close();
    if (!backup.close()) ok = 0;
    // The copy is no more open to others than the original.
    if (ok && !vimbo::platform::fileSystem().copyPermissions(inputFile, name)) ok = 0;
    return ok;
}
