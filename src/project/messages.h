// Where what the engine says to people goes: the front end decides (the
// command writes it on standard error). Whole lines, each ending in "\n".
#pragma once

#include <functional>
#include <string>

namespace vimbo::project {

using Tell = std::function<void(const std::string& lines)>;

}  // namespace vimbo::project
