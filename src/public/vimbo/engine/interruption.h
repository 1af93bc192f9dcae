// Ctrl-C and termination signals during a batch run: the run stops taking
// new files, lets the ones in flight finish (each is then either committed
// or untouched, its scratch file gone), and says it was interrupted.
#pragma once

namespace vimbo::platform {

class Interruption {
public:
    Interruption();   // catches SIGINT, SIGTERM (and SIGHUP where there is one)
    ~Interruption();  // puts the previous handlers back
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that arrived, or 0.
    static int signal();
};

}  // namespace vimbo::platform
