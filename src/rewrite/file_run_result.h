// What one file-mode run (or audit) of a processor hands back: the processor
// keeps nothing of it between calls.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rewrite/failure.h"
#include "rewrite/pending_rewrite.h"
#include "rewrite/rewrite_outcome.h"

namespace vimbo::rewrite {

struct FileRunResult {
    // 1 when at least one include line was guarded, else 0.
    int status = 0;
    // How the run failed (Failure::none when it did not), and the message it
    // printed (or would have).
    Failure failure = Failure::none;
    std::string message;
    // With RewriteOptions::recordChanges, what the settled run changed.
    std::vector<IncludeChange> changes;
    // Include lines of the file as it was whose header the search did not find.
    std::vector<UnfoundInclude> unfound;
    // A "vimbo: off" no "on" follows in the file as it was (line 0: none).
    std::size_t unclosedOffLine = 0, unclosedOffColumn = 0;
    // The scratch file the run wrote, or would have.
    std::string scratchPath;
    // With RewriteOptions::commitLater: the rewrite written beside the
    // file, for the caller to put in place (none when nothing changed or
    // it failed).
    std::optional<PendingRewrite> prepared;
    // Scratch files that runs cut short left, met by the run.
    struct Leftover {
        std::string path;
        std::string of;        // the file whose old text it held ("" when it held none)
        bool removed = false;  // else it holds text of its own, and stays
    };
    std::vector<Leftover> leftovers;

    bool failed() const { return failure != Failure::none; }
};

}  // namespace vimbo::rewrite
