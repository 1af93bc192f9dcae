// The rewrites of one job of a batch run, put in place a batch at a time.
// Their new texts (and backups) are written beside their files first; one
// flush of each file system then puts them all on disk, and only then is
// each swapped in and checked. So a power cut at any instant leaves every
// file old or new, never torn, for the cost of one flush a batch rather
// than one a file; and another writer's version always wins: a file saved,
// written or deleted by someone else meanwhile is left as they left it.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "rewrite/pending_rewrite.h"
#include "rewrite/scratch_file.h"

namespace vimbo::analysis {
class HeaderCache;
}

namespace vimbo::rewrite {
class ScratchRemover;

class CommitBatch {
public:
    using Done = std::function<void(const Published&)>;
    // The header cache is told of every rewrite (null: none to tell).
    CommitBatch(vimbo::analysis::HeaderCache* headers, ScratchRemover& remover);
    ~CommitBatch();
    CommitBatch(const CommitBatch&) = delete;
    CommitBatch& operator=(const CommitBatch&) = delete;

    // Whether a file written for the batch is to be put on disk by itself
    // before it is closed: where the table can't flush a whole file system.
    static bool syncsEachFile(const vimbo::platform::FileSystemOps& fs) { return !fs.wholeFileSystemSync; }

    // Its outcome reaches `done` when the batch is published.
    void add(PendingRewrite pending, Done done);
    // Large enough to be worth its flush.
    bool full() const;
    // Every file added is put in place (or left as it was), in order.
    void publish();
    // Publishes what is left and puts the last swaps on disk; then every
    // old version the swaps left is handed over for removal.
    void finish();

    // An old version whose swap is on disk, moved into `directory` under
    // its next scratch name, to take a new text of `size` bytes on the
    // device `device`: written over, it frees no block (and where the file
    // system discards what it frees, that waits on the disk). False when
    // none is to be had; `taken` then holds nothing.
    bool recycle(const std::shared_ptr<vimbo::platform::HeldDirectory>& directory, ScratchNames& names,
                 std::uint64_t size, std::uint64_t device, OldVersion& taken);
    // One that could not be written over after all: it goes as the rest do.
    void discard(OldVersion old);

private:
    Published putInPlace(PendingRewrite& pending);
    // Puts on disk what was written for the files waiting and the swaps
    // made before; false when a file system reports it could not.
    bool flush();

    struct Entry {
        PendingRewrite pending;
        Done done;
    };
    vimbo::analysis::HeaderCache* headers_;
    ScratchRemover& remover_;
    std::vector<Entry> waiting_;
    // Old versions whose swaps are not known to be on disk yet: removing
    // or writing over one before would leave its file, after a power cut,
    // holding nothing or another file's text.
    std::vector<OldVersion> unsynced_;
    // Those whose swaps are on disk, to be written over for new texts.
    std::vector<OldVersion> recyclable_;
};

}  // namespace vimbo::rewrite
