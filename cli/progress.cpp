#include "progress.h"

#include <cstdio>

#include "vimbo/engine/terminal.h"

namespace vimbo::cli {

namespace {
// Often enough to move, rarely enough to cost nothing on large trees.
constexpr std::chrono::milliseconds kTerminalEvery{100};
constexpr std::chrono::seconds kLogEvery{10};

std::string duration(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    if (whole < 60) return std::to_string(whole) + "s";
    const long minutes = whole / 60, rest = whole % 60;
    return std::to_string(minutes) + "m" + (rest < 10 ? "0" : "") + std::to_string(rest) + "s";
}
}  // namespace

std::string Progress::line(std::size_t count, std::size_t total, const char* what, double elapsed) {
    std::string text = std::to_string(count) + " of " + std::to_string(total) + " " + what;
    // A rate and what is left only once there is something to go by.
    if (count > 0 && elapsed >= 0.5) {
        const double rate = count / elapsed;
        text += ", " + std::to_string(static_cast<long>(rate + 0.5)) + "/s";
        if (count < total) text += ", " + duration((total - count) / rate) + " left";
    }
    return text;
}

Progress::Progress(std::size_t total, const char* what)
    : total_(total), what_(what), terminal_(total > 0 && vimbo::platform::standardErrorIsTerminal()),
      start_(Clock::now()), lastShown_(start_) {
    // At once: the run has begun, whatever comes first takes.
    if (terminal_) {
        std::fprintf(stderr, "\rvimbo: %s", line(0, total_, what_, 0).c_str());
        std::fflush(stderr);
    }
}

Progress::~Progress() {
    if (terminal_) std::fputs("\r\033[K", stderr);
}

void Progress::clear() {
    if (!terminal_) return;
    std::fputs("\r\033[K", stderr);
    cleared_ = true;
}

void Progress::done(std::size_t count) {
    if (total_ == 0) return;
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (terminal_) {
        if (now - lastShown_ < kTerminalEvery && count != total_ && !cleared_) return;
        cleared_ = false;
        lastShown_ = now;
        std::fprintf(stderr, "\rvimbo: %s\033[K", line(count, total_, what_, elapsed).c_str());
        std::fflush(stderr);
        return;
    }
    // A log keeps every line: one now and then, only for a run that lasts.
    if (now - lastShown_ < kLogEvery) return;
    lastShown_ = now;
    std::fprintf(stderr, "vimbo: %s\n", line(count, total_, what_, elapsed).c_str());
    std::fflush(stderr);
}

}  // namespace vimbo::cli
