#include "progress.h"

#include <cstdio>

#include "vimbo/engine/terminal.h"

namespace vimbo::cli {

Progress::Progress(std::size_t total, const char* what)
    : total_(total), what_(what), shown_(total > 0 && vimbo::platform::standardErrorIsTerminal()) {}

Progress::~Progress() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    cleared_ = true;
}

void Progress::done(std::size_t count) {
    // Often enough to move, rarely enough to cost nothing on large trees.
    if (!shown_ || (count % 64 != 0 && count != total_ && !cleared_)) return;
    cleared_ = false;
    std::fprintf(stderr, "\rvimbo: %zu of %zu %s", count, total_, what_);
    std::fflush(stderr);
}

}  // namespace vimbo::cli
