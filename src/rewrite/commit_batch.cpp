#include "rewrite/commit_batch.h"

#include <map>
#include <utility>

#include "analysis/header_cache.h"
#include "rewrite/scratch_remover.h"

using vimbo::platform::Exchange;
using vimbo::platform::FileIdentity;
using vimbo::platform::FileSystemOps;

namespace vimbo::rewrite {

namespace {
// A batch this large costs one flush for many files; directories are held
// open while their files wait, so few of those at once.
constexpr std::size_t kFilesPerBatch = 256;
constexpr std::size_t kDirectoriesPerBatch = 32;
// Old versions kept to be written over (each holds its directory open).
constexpr std::size_t kMaxRecyclable = 256;

// The same version, but for the time of its last change of any kind,
// which the swap itself sets.
bool sameVersion(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.file == b.file && a.size == b.size && a.modified == b.modified;
}

// The very file the run wrote (device, number and size): its time stamps
// move with the swap, and a save into it would change its size or number.
bool runsOwnFile(const FileIdentity& now, const FileIdentity& written) {
    return now.device == written.device && now.file == written.file && now.size == written.size;
}

std::string changedMessage(const std::string& target) {
    return std::string(kCantReplacePrefix) + target + kChangedDuringRun;
}
}  // namespace

CommitBatch::CommitBatch(vimbo::analysis::HeaderCache* headers, ScratchRemover& remover)
    : headers_(headers), remover_(remover) {}

CommitBatch::~CommitBatch() {
    try {
        finish();
    } catch (...) {
        // Out of memory with files waiting: each is left as it was.
    }
}

void CommitBatch::add(PendingRewrite pending, Done done) {
    // Other runs keep out of the directory until its new texts are in place
    // (the caller holds the lock already: this only counts).
    pending.directory->lock(true);
    waiting_.push_back({std::move(pending), std::move(done)});
}

bool CommitBatch::full() const {
    if (waiting_.size() >= kFilesPerBatch) return true;
    std::size_t directories = 0;
    const vimbo::platform::HeldDirectory* last = nullptr;
    for (const Entry& entry : waiting_)
        if (entry.pending.directory.get() != last) {
            last = entry.pending.directory.get();
            ++directories;
        }
    return directories >= kDirectoriesPerBatch;
}

bool CommitBatch::flush() {
    // One flush for each file system (or, where the platform can only sync
    // a directory's names, for each directory).
    std::map<std::uint64_t, std::pair<const FileSystemOps*, std::string>> places;
    const auto note = [&](const FileSystemOps& fs, const std::string& path, std::uint64_t device,
                          const vimbo::platform::HeldDirectory* directory) {
        const std::uint64_t key =
            fs.wholeFileSystemSync ? device : static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(directory));
        places.emplace(key, std::make_pair(&fs, path));
    };
    for (const Entry& entry : waiting_)
        note(entry.pending.directory->ops(), entry.pending.scratch, entry.pending.read.device,
             entry.pending.directory.get());
    for (const OldVersion& old : unsynced_)
        note(old.directory->ops(), old.path, old.identity.device, old.directory.get());
    bool synced = true;
    for (const auto& [key, place] : places) synced = place.first->syncFileSystem(place.second) && synced;
    return synced;
}

void CommitBatch::publish() {
    if (waiting_.empty()) return;
    const bool flushed = flush();
    // The swaps made before are on disk now: what they left may be
    // written over, or go.
    if (flushed) {
        for (OldVersion& old : unsynced_) {
            if (recyclable_.size() < kMaxRecyclable) recyclable_.push_back(std::move(old));
            else remover_.remove(std::move(old));
        }
        unsynced_.clear();
    }
    std::vector<Entry> batch;
    batch.swap(waiting_);
    for (Entry& entry : batch) {
        PendingRewrite& pending = entry.pending;
        Published published;
        if (flushed) {
            published = putInPlace(pending);
        } else {
            // What was written may not be on disk: nothing of it is put in place.
            const FileSystemOps& fs = pending.directory->ops();
            fs.remove(pending.scratch);
            if (!pending.backupScratch.empty()) fs.remove(pending.backupScratch);
            published = {Failure::ioError, kIoError, ""};
        }
        pending.directory->unlock();
        entry.done(published);
    }
}

void CommitBatch::finish() {
    publish();
    for (OldVersion& old : recyclable_) remover_.remove(std::move(old));
    recyclable_.clear();
    if (unsynced_.empty()) return;
    if (!flush()) {
        for (const OldVersion& old : unsynced_) {
            remover_.report(old.of + ": its rewrite could not be put on disk (the file system reports an error); "
                                     "its old text is kept as " + old.path);
            if (old.locked) old.directory->unlock();
        }
        unsynced_.clear();
        return;
    }
    for (OldVersion& old : unsynced_) remover_.remove(std::move(old));
    unsynced_.clear();
}

Published CommitBatch::putInPlace(PendingRewrite& pending) {
    const FileSystemOps& fs = pending.directory->ops();
    const std::string& target = pending.target;
    const FileIdentity old = headers_ ? headers_->aboutToRewrite(target, &pending.read) : pending.read;
    const auto drop = [&](Failure failure, const std::string& message) {
        fs.remove(pending.scratch);
        if (!pending.backupScratch.empty()) fs.remove(pending.backupScratch);
        return Published{failure, message, ""};
    };
    // The version now in place, noted only while it is the run's own new
    // file: one an editor saved over it in the moment since is theirs, and
    // a put-back (--verify's undo) must leave it alone.
    const auto ownVersion = [&]() {
        Published done;
        FileIdentity now;
        if (pending.noteVersion && fs.identityNoFollow(target, now) && runsOwnFile(now, pending.written))
            done.written = now;
        return done;
    };
    const auto swapIn = [&]() -> Published {
        // The target must still be the version read: a file saved, written
        // or deleted by someone else since is theirs.
        FileIdentity now;
        if (!fs.identityNoFollow(target, now)) {
            if (fs.isLink(target)) return drop(Failure::cantReplace, std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
            return drop(Failure::changedDuringRun, changedMessage(target));
        }
        if (!(now == pending.read)) return drop(Failure::changedDuringRun, changedMessage(target));
        if (!pending.backupScratch.empty()) {
            const bool there = fs.exists(pending.backup) || fs.isLink(pending.backup);
            if (!(there ? fs.replace(pending.backupScratch, pending.backup)
                        : fs.rename(pending.backupScratch, pending.backup)))
                return drop(Failure::cantCreateBackup, kCantCreateBak);
            pending.backupScratch.clear();
        }
        switch (fs.exchange(pending.scratch, target)) {
            case Exchange::swapped: {
                // What the swap took away must be the version read: one saved or
                // written in the moment before the swap goes back.
                FileIdentity away;
                if (fs.identityNoFollow(pending.scratch, away) && sameVersion(away, pending.read)) {
                    pending.directory->lock(true);
                    unsynced_.push_back({pending.directory, pending.scratch, away, target, true, false});
                    return ownVersion();
                }
                if (fs.exchange(pending.scratch, target) == Exchange::swapped) {
                    // What comes back must be the run's own new text: one the
                    // other writer saved into it meanwhile is theirs too.
                    FileIdentity back;
                    if (fs.identityNoFollow(pending.scratch, back) && runsOwnFile(back, pending.written)) {
                        fs.remove(pending.scratch);
                        return {Failure::changedDuringRun, changedMessage(target), ""};
                    }
                    return {Failure::changedDuringRun,
                            std::string(kCantReplacePrefix) + target + ": it changed during the run; left as saved, "
                                "and what was saved into its new text meanwhile is " + pending.scratch + ".\n",
                            pending.scratch};
                }
                return {Failure::changedDuringRun,
                        std::string(kCantReplacePrefix) + target + ": it changed during the run, and what was saved "
                            "could not be put back; it is " + pending.scratch + ".\n",
                        pending.scratch};
            }
            case Exchange::unsupported:
                // Where nothing swaps, the old file goes in the same step.
                if (fs.replace(pending.scratch, target)) return ownVersion();
                return drop(Failure::cantReplace, std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
            case Exchange::failed:
                break;
        }
        if (!fs.exists(target) && !fs.isLink(target)) return drop(Failure::changedDuringRun, changedMessage(target));
        return drop(Failure::cantReplace, std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
    };
    Published published = swapIn();
    if (headers_) {
        headers_->rewritten(target, old);
        if (published.failure == Failure::none)
            headers_->carryFacts(target, pending.read, pending.written, pending.wrapsFrom, pending.wrapsTo);
    }
    return published;
}

bool CommitBatch::recycle(const std::shared_ptr<vimbo::platform::HeldDirectory>& directory, ScratchNames& names,
                          std::uint64_t size, std::uint64_t device, OldVersion& taken) {
    // The largest that the text fills (nothing to cut), else the smallest
    // longer one; one already in the directory where they tie.
    std::size_t best = recyclable_.size();
    const auto better = [&](const OldVersion& a, const OldVersion& b) {
        const bool aFits = a.identity.size <= size, bFits = b.identity.size <= size;
        if (aFits != bFits) return aFits;
        if (a.identity.size != b.identity.size) return aFits ? a.identity.size > b.identity.size : a.identity.size < b.identity.size;
        return a.directory == directory && b.directory != directory;
    };
    for (std::size_t i = 0; i < recyclable_.size(); ++i)
        if (recyclable_[i].identity.device == device && (best == recyclable_.size() || better(recyclable_[i], recyclable_[best])))
            best = i;
    if (best < recyclable_.size()) {
        OldVersion old = std::move(recyclable_[best]);
        recyclable_.erase(recyclable_.begin() + static_cast<std::ptrdiff_t>(best));
        // Still as its swap left it, change time and all: one written since,
        // by someone who had it open, holds their text.
        FileIdentity now;
        if (!old.directory->ops().identityNoFollow(old.path, now) || !(now == old.identity)) {
            remover_.remove(std::move(old));
            return false;
        }
        if (old.directory != directory) {
            const std::string to = names.next();
            if (!directory->moveHere(*old.directory, old.path, to)) {
                names.again();
                remover_.remove(std::move(old));
                return false;
            }
            old.directory->unlock();
            old.locked = false;
            old.path = to;
            old.directory = directory;
        } else {
            old.directory->unlock();
            old.locked = false;
        }
        // The caller holds this directory locked while it writes there.
        old.touched = true;
        taken = std::move(old);
        return true;
    }
    return false;
}

void CommitBatch::discard(OldVersion old) { remover_.remove(std::move(old)); }

}  // namespace vimbo::rewrite
