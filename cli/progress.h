// How far a long run has got, on standard error: on a terminal a line kept
// up to date ("done of total files, rate, time left"), shown at once; to a
// log, that line every 10 s once a run has gone on that long.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace vimbo::cli {

class Progress {
public:
    explicit Progress(std::size_t total, const char* what = "files");
    ~Progress();
    void done(std::size_t count);
    // Takes the line away before other output; the next count shows it again.
    void clear();

    // "120 of 600 files, 40/s, 10s left" after `elapsed` seconds.
    static std::string line(std::size_t count, std::size_t total, const char* what, double elapsed);

private:
    using Clock = std::chrono::steady_clock;
    std::size_t total_;
    const char* what_;
    bool terminal_;
    bool cleared_ = false;
    Clock::time_point start_, lastShown_;
};

}  // namespace vimbo::cli
