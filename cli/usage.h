#pragma once

namespace vimbo::cli {
extern const char kUsage[];
extern const char kVersion[];
}  // namespace vimbo::cli
