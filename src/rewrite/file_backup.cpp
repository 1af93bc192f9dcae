// The ".Bak" copy of the input, taken before the target is replaced. It is
// written whole under a new name of its own and only then put in place: an
// old ".Bak" that is a link (or another file's hard link) is replaced, never
// written through, and a failure leaves no half-written copy behind.
#include <memory>

#include "analysis/path_parts.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/backup_claims.h"
#include "rewrite/processor.h"

using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

namespace {
// Tries for a name of its own beside the backup before giving up.
constexpr int kMaxScratchNames = 100;

std::string backupName(const std::string& inputFile) {
    vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(inputFile);
    parts.extension = ".Bak";
    return vimbo::analysis::joinPath(parts);
}

// Copies the input line by line, as text mode reads and writes it.
bool copyText(TextReader& input, TextWriter& backup) {
    std::string line;
    while (input.good() && !backup.failed()) {
        const TextReader::Status status = input.readLine(line);
        if (status == TextReader::Status::error) return false;
        if (status == TextReader::Status::end) break;
        backup.write(line);
        backup.write(input.ending());
    }
    return !backup.failed();
}

// A new file beside `backup`, never one that was there: it may be what
// a run cut short left behind.
std::string createScratch(const vimbo::platform::FileSystemOps& fs, const std::string& backup,
                          std::unique_ptr<TextWriter>& writer) {
    vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(backup);
    for (int attempt = 0; attempt < kMaxScratchNames; ++attempt) {
        parts.baseName = "$vb$bak$";
        parts.extension = attempt == 0 ? ".$$$" : "." + std::to_string(attempt);
        const std::string name = vimbo::analysis::joinPath(parts);
        writer = std::make_unique<TextWriter>(fs, name, TextWriter::Create::newOnly);
        if (writer->isOpen()) return name;
        if (!fs.exists(name)) break;  // not taken: the directory refuses
    }
    writer.reset();
    return "";
}
}  // namespace

Failure Vimbo::writeBackup(std::string& message) {
    const std::string inputFile = settings->inputFile();
    const std::string name = backupName(inputFile);
    message = kCantCreateBak;
    // An input named x.Bak (or a link to it) would be replaced by its own backup.
    if (fs_.sameFile(inputFile, name)) return Failure::cantCreateBackup;
    std::string holder;
    BackupClaims* claims = shared_.backups;
    if (claims && !claims->claim(name, inputFile, holder)) {
        message = "Error: the backup " + name + " holds the old text of " + holder + " already; left unchanged.\n";
        return Failure::backupTaken;
    }
    const auto fail = [&](const std::string& scratch) {
        if (!scratch.empty()) fs_.remove(scratch);
        if (claims) claims->release(name);
        return Failure::cantCreateBackup;
    };
    TextReader input(fs_, inputFile);
    if (!input.isOpen()) return fail("");
    std::unique_ptr<TextWriter> backup;
    const std::string scratch = createScratch(fs_, name, backup);
    if (scratch.empty()) return fail("");
    const bool copied = copyText(input, *backup);
    input.close();
    // The copy is no more open to others than the original, and carries
    // the same attributes (ACLs among them).
    if (!backup->close() || !copied || !fs_.copyPermissions(inputFile, scratch) ||
        !fs_.copyAttributes(inputFile, scratch))
        return fail(scratch);
    const bool there = fs_.exists(name) || fs_.isLink(name);
    if (!(there ? fs_.replace(scratch, name) : fs_.rename(scratch, name))) return fail(scratch);
    message.clear();
    return Failure::none;
}
