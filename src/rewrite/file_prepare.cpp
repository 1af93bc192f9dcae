// A batch run's rewrite up to its commit: the new text (and the backup)
// written whole beside the file, with the file's permissions and
// attributes, for the batch to put on disk and in place with the others.
#include "platform/file_system.h"
#include "platform/text_writer.h"
#include "rewrite/backup_claims.h"
#include "rewrite/commit_batch.h"
#include "rewrite/leftover_scratch.h"
#include "rewrite/processor.h"
#include "rewrite/scratch_file.h"
#include "vimbo/engine/paths.h"

using vimbo::platform::LineEndings;
using vimbo::platform::TextWriter;

namespace vimbo::rewrite {

namespace {
// Leftovers taken away under one name before the name is given up on.
constexpr int kMaxLeftovers = 16;
}  // namespace


std::string Vimbo::createScratch(FileRunResult& result, std::optional<TextWriter>& writer) {
    ScratchNames* names = shared_.names;
    for (int attempt = 0; attempt < kMaxLeftovers; ++attempt) {
        const std::string name = names ? names->next() : options_.scratchDirectory + kScratchFileName;
        result.scratchPath = name;
        writer.emplace(fs_, name, TextWriter::Create::newOnly, LineEndings::kept);
        if (writer->isOpen()) return name;
        writer.reset();
        if (!fs_.exists(name) && !fs_.isLink(name)) {  // the directory takes no new file
            if (names) names->again();
            break;
        }
        // A file of that name this run did not make: what one cut short
        // left. Where a batch run numbers its names, one that holds text of
        // its own stays (and is named) and the next name is taken.
        if (!names) break;
        std::string of;
        if (removeLeftover(fs_, name, settings_->inputFile(), of)) {
            result.leftovers.push_back({name, of, true});
            names->again();
        } else {
            result.leftovers.push_back({name, "", false});
        }
    }
    report(result, Failure::cantCreateScratch, kCantCreateTemp);
    return "";
}

void Vimbo::prepareRewrite(FileRunResult& result, const std::string& text, const RewriteOutcome& outcome,
                           const vimbo::platform::FileIdentity* read) {
    const std::string target = settings_->outputFile();
    if (!read) {
        report(result, Failure::cantReplace, std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
        return;
    }
    if (fs_.readOnly(target, read)) {
        report(result, Failure::readOnlyInput, kReadOnlyInput);
        return;
    }
    PendingRewrite pending;
    pending.target = target;
    pending.read = *read;
    pending.directory = shared_.directory;
    pending.wrapsFrom = outcome.wrapsFrom;
    pending.wrapsTo = outcome.wrapsTo;
    // Where the batch flushes no whole file system, each file goes to disk by itself.
    const bool syncEach = CommitBatch::syncsEachFile(fs_);
    if (settings_->makeBackup() == 1) {
        std::string message;
        pending.backup = vimbo::engine::backupNameOf(settings_->inputFile());
        const Failure claimed = claimBackup(pending.backup, message);
        if (claimed != Failure::none) {
            report(result, claimed, message);
            return;
        }
        pending.backupScratch = writeBackupCopy(pending.backup, syncEach);
        if (pending.backupScratch.empty()) {
            if (shared_.backups) shared_.backups->release(pending.backup);
            report(result, Failure::cantCreateBackup, kCantCreateBak);
            return;
        }
    }
    const auto dropAll = [&](const std::string& scratch) {
        if (!scratch.empty()) fs_.remove(scratch);
        if (!pending.backupScratch.empty()) fs_.remove(pending.backupScratch);
    };
    std::optional<TextWriter> scratch;
    // An old version whose swap is on disk takes the text where there is
    // one: as open as the file it was, it gets the target's permissions
    // and attributes before it gets the new text.
    OldVersion reused;
    if (shared_.commits && shared_.names &&
        shared_.commits->recycle(shared_.directory, *shared_.names, text.size(), read->device, reused)) {
        if (!keepMetadata(result, target, reused.path, read, &reused.identity)) {
            dropAll(reused.path);
            return;
        }
        scratch.emplace(fs_, reused.path, TextWriter::Create::overwrite, LineEndings::kept, &reused.identity);
        if (scratch->isOpen()) {
            pending.scratch = reused.path;
            pending.written = reused.identity;
        } else {
            // Open elsewhere (or written since its swap, by someone who had it
            // open): it takes no other file's text, and goes as it is.
            scratch.reset();
            shared_.commits->discard(std::move(reused));
        }
    }
    const bool fresh = pending.scratch.empty();
    if (fresh) pending.scratch = createScratch(result, scratch);
    if (pending.scratch.empty()) {
        dropAll("");
        return;
    }
    scratch->write(text);
    const bool onDisk = !syncEach || scratch->sync();
    if (!scratch->close() || !onDisk) {
        report(result, Failure::ioError, kIoError);
        dropAll(pending.scratch);
        return;
    }
    if (fresh) {
        // The new file stands for the old one: same permissions, owner and attributes.
        if (!keepMetadata(result, target, pending.scratch, read)) {
            dropAll(pending.scratch);
            return;
        }
        // Which file the new version will be, for the facts that stay true of it.
        if (!fs_.identityNoFollow(pending.scratch, pending.written)) pending.written = {};
    }
    pending.written.size = text.size();
    result.prepared = std::move(pending);
}

}  // namespace vimbo::rewrite
