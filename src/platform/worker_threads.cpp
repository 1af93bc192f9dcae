#include "vimbo/engine/worker_threads.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vimbo::engine {

unsigned jobsWanted(unsigned jobs) { return jobs ? jobs : std::max(1u, std::thread::hardware_concurrency()); }

void runOnThreads(unsigned jobs, std::size_t most, const std::function<void()>& work) {
    std::mutex lock;
    std::exception_ptr thrown;
    const auto guarded = [&] {
        try {
            work();
        } catch (...) {
            std::lock_guard<std::mutex> hold(lock);
            if (!thrown) thrown = std::current_exception();
        }
    };
    const std::size_t count = std::min<std::size_t>(jobsWanted(jobs), std::max<std::size_t>(1, most));
    std::vector<std::thread> workers;
    for (std::size_t j = 1; j < count; ++j) {
        // Fewer jobs when the system gives no more threads.
        try {
            workers.emplace_back(guarded);
        } catch (...) {
            break;
        }
    }
    guarded();
    for (std::thread& worker : workers) worker.join();
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace vimbo::engine
