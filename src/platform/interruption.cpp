#include "vimbo/engine/interruption.h"

#include <atomic>
#include <csignal>

namespace vimbo::platform {
namespace {

std::atomic<int> caught{0};

extern "C" void onSignal(int number) {
    int none = 0;
    caught.compare_exchange_strong(none, number);
}

#ifdef SIGHUP
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
using Handler = void (*)(int);
Handler previous[sizeof kSignals / sizeof kSignals[0]];

}  // namespace

Interruption::Interruption() {
    caught = 0;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        previous[i] = std::signal(kSignals[i], onSignal);
}

Interruption::~Interruption() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        if (previous[i] != SIG_ERR) std::signal(kSignals[i], previous[i]);
}

int Interruption::signal() { return caught; }

}  // namespace vimbo::platform
