// Removing the old versions that the swaps of a run leave under scratch
// names, on a thread of its own: where the file system discards the blocks
// it frees (ext4's "discard"), a removal waits on the disk, and the rewrites
// of the next files need not wait with it. An old version is handed over
// only once the swap that put it there is on disk.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rewrite/scratch_file.h"

namespace vimbo::rewrite {

class ScratchRemover {
public:
    // `inBackground` false: each file is removed as it is handed over (a dry
    // run's files live in memory).
    explicit ScratchRemover(bool inBackground) : inBackground_(inBackground) {}
    // Every file handed over is gone (or kept and told of) once this returns.
    ~ScratchRemover();
    ScratchRemover(const ScratchRemover&) = delete;
    ScratchRemover& operator=(const ScratchRemover&) = delete;

    void remove(OldVersion old);
    // A problem found elsewhere with an old version, for the same report.
    void report(std::string problem);
    // Waits until every file handed over is dealt with.
    void drain();
    // What could not be removed, or was written after its swap (its text is
    // someone's and stays): a line each, for the run's report.
    std::vector<std::string> problems();

private:
    void run();
    void removeNow(const OldVersion& old);

    const bool inBackground_;
    std::mutex lock_;
    std::condition_variable wake_, idle_;
    std::deque<OldVersion> waiting_;
    unsigned busy_ = 0;
    bool stopping_ = false;
    std::thread thread_;
    std::vector<std::string> problems_;
};

}  // namespace vimbo::rewrite
