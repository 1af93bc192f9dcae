#pragma once
// Running one piece of work on several threads at once: the jobs of a
// batch, of its index pass, of the compilers asked and of --verify.

#include <cstddef>
#include <functional>

namespace vimbo::engine {

// The number of jobs a run asks for: 0 means one per processor.
unsigned jobsWanted(unsigned jobs);

// Runs `work` on min(jobsWanted(jobs), most) threads, the calling thread
// one of them, and returns once every one has returned. When the system
// gives no more threads the work runs on fewer. The first exception any
// thread lets out is rethrown here, after all have stopped.
void runOnThreads(unsigned jobs, std::size_t most, const std::function<void()>& work);

}  // namespace vimbo::engine
