#include "rewrite/scratch_remover.h"

#include <system_error>

namespace vimbo::rewrite {

ScratchRemover::~ScratchRemover() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    for (const OldVersion& old : waiting_) removeNow(old);  // the thread never started
}

void ScratchRemover::remove(OldVersion old) {
    if (inBackground_) {
        std::lock_guard<std::mutex> hold(lock_);
        try {
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
            waiting_.push_back(std::move(old));
            wake_.notify_one();
            return;
        } catch (...) {
            // No thread (or no memory) to be had: the file is removed here and now.
        }
    }
    removeNow(old);
}

void ScratchRemover::report(std::string problem) {
    std::lock_guard<std::mutex> hold(lock_);
    problems_.push_back(std::move(problem));
}

void ScratchRemover::drain() {
    std::unique_lock<std::mutex> hold(lock_);
    idle_.wait(hold, [&] { return (waiting_.empty() || !thread_.joinable()) && busy_ == 0; });
}

std::vector<std::string> ScratchRemover::problems() {
    drain();
    std::lock_guard<std::mutex> hold(lock_);
    return problems_;
}

void ScratchRemover::removeNow(const OldVersion& old) {
    const vimbo::platform::FileSystemOps& fs = old.directory->ops();
    vimbo::platform::FileIdentity now;
    std::string problem;
    if (!fs.identityNoFollow(old.path, now)) {
        // Gone already (another run took it away), or no regular file any more.
        if (fs.exists(old.path) || fs.isLink(old.path)) problem = old.path + ": not the old text of " + old.of +
                                                                    " any more; left as it is";
    } else if (old.touched ? now.device != old.identity.device || now.file != old.identity.file ||
                                 now.size != old.identity.size || now.modified != old.identity.modified
                           : !(now == old.identity)) {
        problem = old.of + ": written through a file still open after its rewrite; that text is kept as " +
                  old.path + "; look at what it holds";
    } else if (!fs.remove(old.path)) {
        problem = old.path + ": can't remove this scratch file (the old text of " + old.of + "); remove it yourself";
    }
    if (old.locked) old.directory->unlock();
    if (problem.empty()) return;
    std::lock_guard<std::mutex> hold(lock_);
    problems_.push_back(std::move(problem));
}

void ScratchRemover::run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [&] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            idle_.notify_all();
            return;
        }
        OldVersion old = std::move(waiting_.front());
        waiting_.pop_front();
        ++busy_;
        hold.unlock();
        removeNow(old);
        hold.lock();
        --busy_;
        if (waiting_.empty()) idle_.notify_all();
    }
}

}  // namespace vimbo::rewrite
