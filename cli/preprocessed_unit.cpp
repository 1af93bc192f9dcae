#include "preprocessed_unit.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <csignal>
#include <exception>
#include <fstream>
#include <mutex>
#include <thread>

#include "vimbo/engine/interruption.h"
#include "progress.h"
#include "vimbo/engine/child_process.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
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

// Set when a preprocessor was stopped by a signal: Ctrl-C reaches the
// commands (vimbo ignores it while one runs), so it shows here.
std::atomic<bool> interrupted{false};

}  // namespace

bool preprocessingInterrupted() { return interrupted; }
void resetPreprocessingInterrupted() { interrupted = false; }
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
                std::string& firstError) {
    std::error_code ignored;
    fs::remove(output, ignored);  // the output file is made anew, in a directory of this user's alone
    vimbo::platform::ChildProcess child{command, directory, "", output.string()};
    child.keep = 4096;
    const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
    if (outcome.signal == SIGINT || outcome.signal == SIGTERM || outcome.status == 130 || outcome.status == 143)
        interrupted = true;
    if (!outcome.started) firstError = "can't run " + (command.empty() ? std::string() : command[0]);
    else if (outcome.status != 0) firstError = outcome.errors.substr(0, outcome.errors.find('\n'));
    return outcome.started && outcome.status == 0;
}

// Calls `work(i)` for every unit, `jobs` at a time.
void forEachUnit(std::size_t count, unsigned jobs, bool showProgress, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0}, done{0};
    Progress progress(showProgress ? count : 0, "translation units");
    std::mutex progressLock;
    // What throws stops every job and is thrown on from here, once they
    // have stopped, as it would be with one job.
    std::exception_ptr thrown;
    std::atomic<bool> stopped{false};
    const auto worker = [&] {
        try {
            for (std::size_t i;
                 !stopped && !interrupted && !vimbo::platform::Interruption::signal() && (i = next++) < count;) {
                work(i);
                std::lock_guard<std::mutex> hold(progressLock);
                progress.done(++done);
            }
        } catch (...) {
            std::lock_guard<std::mutex> hold(progressLock);
            if (!thrown) thrown = std::current_exception();
            stopped = true;
        }
    };
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned j = 1; j < jobs && j < count; ++j) {
        // Fewer jobs when the system gives no more threads.
        try {
            workers.emplace_back(worker);
        } catch (...) {
            break;
        }
    }
    worker();
    for (std::thread& thread : workers) thread.join();
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace vimbo::cli
