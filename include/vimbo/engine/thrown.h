// What an exception that reached a front end's catch says to a user, so
// that a run can name the file it failed on and go on (or stop with a
// message) instead of ending in std::terminate.
#pragma once

#include <exception>
#include <string>

namespace vimbo::engine {

// "out of memory" for std::bad_alloc, else the exception's own what().
std::string thrownText(const std::exception_ptr& thrown);

}  // namespace vimbo::engine
