// Ctrl-C and termination signals during a batch run: the run stops taking
// new files, lets the ones in flight finish (each is then either committed
// or untouched, its scratch file gone), and says it was interrupted. A
// reader of standard output that goes away (a closed pipe) ends it the same
// way, as SIGPIPE.
#pragma once

namespace vimbo::platform {

class Interruption {
public:
    // Catches SIGINT, SIGTERM (and SIGHUP where there is one) and ignores
    // SIGPIPE, so that a write into a closed pipe fails instead of ending
    // the process mid-rewrite (children get its default back). One inside
    // another (a verification around its rewrite) changes nothing: the
    // outermost keeps the first signal for the whole run.
    Interruption();
    ~Interruption();  // the outermost puts the previous handlers back
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that arrived, or 0.
    static int signal();
    // Whether a child that this signal ended was interrupted as the run is
    // (Ctrl-C and a hangup reach every process of the terminal's group).
    static bool interrupts(int signal);
    // After a write to standard output failed: when no one reads it any
    // more, the run ends as for SIGPIPE (128 + 13). Whether that was it.
    static bool outputClosed();
};

}  // namespace vimbo::platform
