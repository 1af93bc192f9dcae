#include "vimbo/engine/interruption.h"

#include <atomic>
#include <csignal>

#include "vimbo/engine/terminal.h"

namespace vimbo::platform {
namespace {

std::atomic<int> caught{0};

// The first signal is the one the run ends with.
void take(int number) {
    int none = 0;
    caught.compare_exchange_strong(none, number);
}

extern "C" void onSignal(int number) { take(number); }

#ifdef SIGHUP
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
constexpr std::size_t kCount = sizeof kSignals / sizeof kSignals[0];
// Where there is no SIGPIPE (Windows: a write into a closed pipe just
// fails), the run still ends with the number POSIX gives it.
#ifdef SIGPIPE
constexpr int kBrokenPipe = SIGPIPE;
#else
constexpr int kBrokenPipe = 13;
#endif
using Handler = void (*)(int);
Handler previous[kCount];
#ifdef SIGPIPE
Handler previousPipe = SIG_DFL;
#endif
// Interruptions made on the main thread only, one inside another.
int depth = 0;

}  // namespace

Interruption::Interruption() {
    if (depth++ > 0) return;
    caught = 0;
    for (std::size_t i = 0; i < kCount; ++i) previous[i] = std::signal(kSignals[i], onSignal);
#ifdef SIGPIPE
    previousPipe = std::signal(SIGPIPE, SIG_IGN);
#endif
}

Interruption::~Interruption() {
    if (--depth > 0) return;
    for (std::size_t i = 0; i < kCount; ++i)
        if (previous[i] != SIG_ERR) std::signal(kSignals[i], previous[i]);
#ifdef SIGPIPE
    if (previousPipe != SIG_ERR) std::signal(SIGPIPE, previousPipe);
#endif
}

int Interruption::signal() { return caught; }

bool Interruption::interrupts(int signal) {
    for (int number : kSignals)
        if (signal == number) return true;
    return false;
}

bool Interruption::outputClosed() {
    if (!standardOutputClosed()) return false;
    take(kBrokenPipe);
    return true;
}

}  // namespace vimbo::platform
