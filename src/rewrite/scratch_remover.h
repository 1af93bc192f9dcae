// Removing the files the directories of a run kept for their swaps, on a
// thread of its own: where the file system discards the blocks it frees
// (ext4's "discard"), a removal waits on the disk, and the rewrites of the
// next directories need not wait with it.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "rewrite/scratch_file.h"

class ScratchRemover {
public:
    // `inBackground` false: each file is removed as it is handed over (a dry
    // run's files live in memory).
    ScratchRemover(const vimbo::platform::FileSystemOps& fs, bool inBackground) : fs_(fs), inBackground_(inBackground) {}
    // Every file handed over is gone (or was not the file kept) once this returns.
    ~ScratchRemover();
    ScratchRemover(const ScratchRemover&) = delete;
    ScratchRemover& operator=(const ScratchRemover&) = delete;

    void remove(KeptScratch kept);

private:
    void run();

    const vimbo::platform::FileSystemOps& fs_;
    const bool inBackground_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<KeptScratch> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};
