#pragma once

namespace vimbo::platform {
// Whether standard error is an interactive terminal (progress is shown there).
bool standardErrorIsTerminal();
// Whether standard output is a terminal that shows ANSI colours (on Windows,
// a console that takes them once asked).
bool standardOutputShowsColour();
// Whether standard output's reader is gone (a pipe closed at its other
// end), asked right after a write to it failed.
bool standardOutputClosed();
// Standard input and output carry bytes as they are (on Windows no CR is
// added or taken away): for a text read and shown whole.
void useBinaryStandardStreams();
}  // namespace vimbo::platform
