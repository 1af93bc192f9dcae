#pragma once

namespace vimbo::platform {
// Whether standard error is an interactive terminal (progress is shown there).
bool standardErrorIsTerminal();
// Whether standard output is a terminal that shows ANSI colours (on Windows,
// a console that takes them once asked).
bool standardOutputShowsColour();
}  // namespace vimbo::platform
