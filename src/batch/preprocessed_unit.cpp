#include "batch/preprocessed_unit.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <exception>
#include <fstream>
#include <limits>
#include <mutex>

#include "vimbo/engine/interruption.h"
#include "batch/unit_reads.h"
#include "vimbo/engine/worker_threads.h"
#include "vimbo/engine/child_process.h"

namespace fs = std::filesystem;

namespace vimbo::batch {

namespace {

// The text the compiler would compile, line by line: blank lines and line
// markers do not count (a wrap moves lines by design).
class NormalLines {
public:
    explicit NormalLines(const fs::path& file) : in_(file, std::ios::binary) {}
    bool next(std::string& line) {
        while (std::getline(in_, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t\f\v") == std::string::npos) continue;
            const std::size_t start = line.find_first_not_of(" \t");
            if (line.compare(start, 5, "#line") == 0 ||
                (line[start] == '#' && start + 2 < line.size() && line[start + 1] == ' ' &&
                 std::isdigit(static_cast<unsigned char>(line[start + 2]))))
                continue;
            return true;
        }
        return false;
    }

private:
    std::ifstream in_;
};

// The signal that stopped a preprocessor, or 0: Ctrl-C and a hangup reach
// the commands too, and one may be ended alone.
std::atomic<int> interrupted{0};

// The first line a failing preprocessor printed, past the notes of the
// headers it read.
std::string firstErrorIn(const std::string& errors) {
    for (std::size_t start = 0; start < errors.size();) {
        const std::size_t end = std::min(errors.find('\n', start), errors.size());
        const std::string line = errors.substr(start, end - start);
        if (!isIncludeNote(line)) return line;
        start = end + 1;
    }
    return "";
}

}  // namespace

int preprocessingInterrupted() { return interrupted; }
void resetPreprocessingInterrupted() { interrupted = 0; }
std::uint64_t hashOf(const fs::path& file) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    NormalLines lines(file);
    std::string line;
    while (lines.next(line)) {
        for (unsigned char c : line) hash = (hash ^ c) * 1099511628211ull;
        hash = (hash ^ '\n') * 1099511628211ull;
    }
    return hash;
}

// Where two outputs part: the first line of each that differs.
std::pair<std::string, std::string> firstDifference(const fs::path& a, const fs::path& b) {
    NormalLines left(a), right(b);
    std::string x, y;
    for (;;) {
        const bool moreLeft = left.next(x), moreRight = right.next(y);
        if (!moreLeft && !moreRight) return {"", ""};
        if (!moreLeft) x = "(end)";
        if (!moreRight) y = "(end)";
        if (!moreLeft || !moreRight || x != y) return {x, y};
    }
}

bool preprocess(const std::vector<std::string>& command, const std::string& directory, const fs::path& output,
                std::string& firstError, std::string* errors) {
    std::error_code ignored;
    fs::remove(output, ignored);  // the output file is made anew, in a directory of this user's alone
    vimbo::platform::ChildProcess child{command, directory, "", output.string()};
    // Only the first error is shown; a list of the headers read is kept whole.
    child.keep = errors ? std::numeric_limits<std::size_t>::max() : 4096;
    vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
    // A compiler behind a script that passes the signal on ends with 128 + it.
    using vimbo::platform::Interruption;
    const int signal = Interruption::interrupts(outcome.signal)                                    ? outcome.signal
                       : outcome.status > 128 && Interruption::interrupts(outcome.status - 128) ? outcome.status - 128
                                                                                                : 0;
    int none = 0;
    if (signal) interrupted.compare_exchange_strong(none, signal);
    if (!outcome.started) firstError = "can't run " + (command.empty() ? std::string() : command[0]);
    else if (outcome.status != 0) firstError = firstErrorIn(outcome.errors);
    if (errors) *errors = std::move(outcome.errors);
    return outcome.started && outcome.status == 0;
}

// Calls `work(i)` for every unit, `jobs` at a time.
void forEachUnit(std::size_t count, unsigned jobs, vimbo::engine::BatchObserver* progress, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0}, done{0};
    if (progress) progress->progressBegun(count, "translation units");
    std::mutex progressLock;
    // What throws stops every job and is thrown on from here, once they
    // have stopped, as it would be with one job.
    std::atomic<bool> stopped{false};
    const auto worker = [&] {
        try {
            for (std::size_t i;
                 !stopped && !interrupted && !vimbo::platform::Interruption::signal() && (i = next++) < count;) {
                work(i);
                std::lock_guard<std::mutex> hold(progressLock);
                ++done;
                if (progress) progress->progressMade(done);
            }
        } catch (...) {
            stopped = true;
            throw;
        }
    };
    try {
        vimbo::engine::runOnThreads(jobs, count, worker);
    } catch (...) {
        if (progress) progress->progressEnded();
        throw;
    }
    if (progress) progress->progressEnded();
}

}  // namespace vimbo::batch
