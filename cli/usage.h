#pragma once

#include <string>

namespace vimbo::cli {
extern const char kUsage[];
extern const char kVersion[];

// Says what is wrong with the command line, on standard error; returns 2.
int usageError(const std::string& message);
}  // namespace vimbo::cli
