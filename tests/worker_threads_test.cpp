// Work run on several threads: how many run it, and what one of them throws.
#include "vimbo/engine/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

struct ThreadCountCase {
    unsigned jobs;
    std::size_t most;
    std::size_t expected;  // 0: one per processor
};

TEST(RunOnThreads, RunsOnAsManyThreadsAsAskedAndNoMoreThanWorkAllows) {
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    const ThreadCountCase cases[] = {
        {1, 10, 1}, {3, 10, 3}, {4, 2, 2}, {3, 0, 1}, {0, 100, 0}, {0, 1, 1},
    };
    for (const ThreadCountCase& c : cases) {
        std::mutex lock;
        std::set<std::thread::id> seen;
        std::atomic<int> running{0};
        std::atomic<std::size_t> calls{0};
        vimbo::engine::runOnThreads(c.jobs, c.most, [&] {
            ++calls;
            {
                std::lock_guard<std::mutex> hold(lock);
                seen.insert(std::this_thread::get_id());
            }
            // Every thread stays until all have begun, so none is reused.
            ++running;
            const std::size_t wanted = c.expected ? c.expected : processors;
            while (static_cast<std::size_t>(running.load()) < wanted) std::this_thread::yield();
        });
        const std::size_t expected = c.expected ? c.expected : processors;
        EXPECT_EQ(calls.load(), expected) << c.jobs << " jobs, at most " << c.most;
        EXPECT_EQ(seen.size(), expected) << c.jobs << " jobs, at most " << c.most;
        EXPECT_EQ(seen.count(std::this_thread::get_id()), 1u) << "the calling thread is one of them";
    }
    EXPECT_EQ(vimbo::engine::jobsWanted(0), processors);
    EXPECT_EQ(vimbo::engine::jobsWanted(5), 5u);
}

TEST(RunOnThreads, WhatOneThreadThrowsIsThrownOnceAllHaveStopped) {
    for (const unsigned jobs : {1u, 2u, 4u}) {
        std::atomic<int> finished{0};
        std::atomic<bool> first{true};
        try {
            vimbo::engine::runOnThreads(jobs, jobs, [&] {
                if (first.exchange(false)) throw std::runtime_error("first");
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ++finished;
            });
            ADD_FAILURE() << "nothing thrown with " << jobs << " jobs";
        } catch (const std::runtime_error& thrown) {
            EXPECT_STREQ(thrown.what(), "first");
            EXPECT_EQ(finished.load(), static_cast<int>(jobs) - 1) << "every other thread ran to its end";
        }
    }
}

}  // namespace
