// The ".Bak" copy of the input, taken before the target is replaced. It is
// written whole under a new name of its own and only then put in place: an
// old ".Bak" that is a link (or another file's hard link) is replaced, never
// written through, and a failure leaves no half-written copy behind.
#include <filesystem>
#include <memory>

#include "analysis/path_parts.h"
#include "platform/file_system.h"
#include "platform/line_endings.h"
#include "platform/text_reader.h"
#include "platform/text_writer.h"
#include "rewrite/backup_claims.h"
#include "rewrite/commit_batch.h"
#include "rewrite/leftover_scratch.h"
#include "rewrite/processor.h"
#include "rewrite/scratch_file.h"
#include "vimbo/engine/paths.h"

using vimbo::platform::TextReader;
using vimbo::platform::TextWriter;

namespace vimbo::rewrite {

namespace {
// Tries for a name of its own beside the backup before giving up.
constexpr int kMaxScratchNames = 100;
// Texts compared to tell whose old text a backup holds are read up to this size.
constexpr std::uint64_t kMaxComparedSize = std::uint64_t{64} << 20;

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
// a run cut short left behind. A batch run, whose copies wait for their
// batch, numbers them through the directory's names.
std::string createBackupScratch(const vimbo::platform::FileSystemOps& fs, const std::string& backup,
                                ScratchNames* names, std::unique_ptr<TextWriter>& writer) {
    vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(backup);
    for (int attempt = 0; attempt < kMaxScratchNames; ++attempt) {
        parts.baseName = "$vb$bak$";
        parts.extension = attempt == 0 ? ".$$$" : "." + std::to_string(attempt);
        const std::string name = names ? names->nextBackup() : vimbo::analysis::joinPath(parts);
        writer = std::make_unique<TextWriter>(fs, name, TextWriter::Create::newOnly);
        if (writer->isOpen()) return name;
        if (!fs.exists(name)) break;  // not taken: the directory refuses
    }
    writer.reset();
    return "";
}

bool readBounded(const vimbo::platform::FileSystemOps& fs, const std::string& path, std::string& bytes) {
    vimbo::platform::FileIdentity identity;
    if (!fs.identity(path, identity) || identity.size > kMaxComparedSize ||
        !vimbo::platform::readWholeFile(fs, path, bytes))
        return false;
    // In text mode a backup is written with CR LF where its input may have
    // LF alone: the line breaks don't tell them apart.
    if (vimbo::platform::kSystemLineEndings == vimbo::platform::LineEndings::textMode) {
        std::string lines;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) lines += bytes[i];
        bytes.swap(lines);
    }
    return true;
}

// Inputs that differ only in extension (u.c and u.h) share one backup
// name. A backup already there from an earlier run is this input's when
// it holds this input's text but for guards; where another such input is
// there, it may be that one's, the only copy of its original: the other
// input named in `holder`, and whether its text is what the backup holds.
bool heldByAnother(const vimbo::platform::FileSystemOps& fs, const std::string& input, const std::string& backup,
                   std::string& holder, bool& matched) {
    namespace stdfs = std::filesystem;
    if (!fs.exists(backup) || fs.isLink(backup)) return false;
    const vimbo::analysis::PathParts own = vimbo::analysis::splitPath(input);
    std::vector<std::string> others;
    std::error_code error;
    const std::string directory = own.drive + own.directory;
    for (stdfs::directory_iterator it(vimbo::platform::nativePath(directory.empty() ? "." : directory), error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(name);
        if (parts.baseName != own.baseName || parts.extension == own.extension || parts.extension == ".Bak") continue;
        std::error_code ignored;
        if (it->is_regular_file(ignored)) others.push_back(directory + name);
    }
    if (others.empty()) return false;
    std::string old, text;
    if (!readBounded(fs, backup, old)) {
        holder = others.front();
        matched = false;
        return true;
    }
    if (readBounded(fs, input, text) && sameButForGuards(old, text)) return false;
    for (const std::string& other : others) {
        text.clear();
        if (readBounded(fs, other, text) && sameButForGuards(old, text)) {
            holder = other;
            matched = true;
            return true;
        }
    }
    holder = others.front();
    matched = false;
    return true;
}
}  // namespace


Failure Vimbo::claimBackup(const std::string& name, std::string& message) {
    const std::string inputFile = settings_->inputFile();
    message = kCantCreateBak;
    // An input named x.Bak (or a link to it) would be replaced by its own backup.
    if (fs_.sameFile(inputFile, name)) return Failure::cantCreateBackup;
    std::string holder;
    BackupClaims* claims = shared_.backups;
    if (claims && !claims->claim(name, inputFile, holder)) {
        message = "Error: the backup " + name + " holds the old text of " + holder + " already; left unchanged.\n";
        return Failure::backupTaken;
    }
    bool matched = false;
    if (heldByAnother(fs_, inputFile, name, holder, matched)) {
        if (claims) claims->release(name);
        message = "Error: the backup " + name +
                  (matched ? " holds the old text of " + holder + " already"
                           : " may be the only copy of another file's old text (" + holder + " shares its name)") +
                  "; left unchanged.\n";
        return Failure::backupTaken;
    }
    message.clear();
    return Failure::none;
}

std::string Vimbo::writeBackupCopy(const std::string& name, bool sync) {
    TextReader input(fs_, settings_->inputFile());
    if (!input.isOpen()) return "";
    std::unique_ptr<TextWriter> backup;
    const std::string scratch = createBackupScratch(fs_, name, shared_.names, backup);
    if (scratch.empty()) return "";
    const bool copied = copyText(input, *backup);
    input.close();
    // The copy is no more open to others than the original, and carries
    // the same attributes (ACLs among them).
    const bool onDisk = !sync || backup->sync();
    if (!backup->close() || !copied || !onDisk || !fs_.copyPermissions(settings_->inputFile(), scratch) ||
        !fs_.copyAttributes(settings_->inputFile(), scratch)) {
        fs_.remove(scratch);
        return "";
    }
    return scratch;
}

Failure Vimbo::writeBackup(std::string& message) {
    const std::string name = vimbo::engine::backupNameOf(settings_->inputFile());
    const Failure claimed = claimBackup(name, message);
    if (claimed != Failure::none) return claimed;
    message = kCantCreateBak;
    const std::string scratch = writeBackupCopy(name, true);
    const auto fail = [&] {
        if (!scratch.empty()) fs_.remove(scratch);
        if (shared_.backups) shared_.backups->release(name);
        return Failure::cantCreateBackup;
    };
    if (scratch.empty()) return fail();
    const bool there = fs_.exists(name) || fs_.isLink(name);
    if (!(there ? fs_.replace(scratch, name) : fs_.rename(scratch, name))) return fail();
    message.clear();
    return Failure::none;
}

}  // namespace vimbo::rewrite

std::string vimbo::engine::backupNameOf(const std::string& inputFile) {
    vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(inputFile);
    parts.extension = ".Bak";
    return vimbo::analysis::joinPath(parts);
}
