#include "rewrite/scratch_remover.h"

#include <system_error>

ScratchRemover::~ScratchRemover() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    for (KeptScratch& kept : waiting_) releaseScratch(fs_, kept);  // the thread never started
}

void ScratchRemover::remove(KeptScratch kept) {
    if (!kept.held) return;
    if (inBackground_) {
        std::lock_guard<std::mutex> hold(lock_);
        try {
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
            waiting_.push_back(std::move(kept));
            wake_.notify_one();
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the file is removed here and now.
        }
    }
    releaseScratch(fs_, kept);
}

void ScratchRemover::run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [&] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        KeptScratch kept = std::move(waiting_.front());
        waiting_.pop_front();
        hold.unlock();
        releaseScratch(fs_, kept);
        hold.lock();
    }
}
