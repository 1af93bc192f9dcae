#pragma once

namespace vimbo::platform {
// Whether standard error is an interactive terminal (progress is shown there).
bool standardErrorIsTerminal();
}  // namespace vimbo::platform
