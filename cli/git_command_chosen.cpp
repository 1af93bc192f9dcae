// A build without libgit2 asks the git command (see git_command.cpp).
#include "git_access.h"

namespace vimbo::cli {

const GitAccess& gitAccess() { return gitCommand(); }

}  // namespace vimbo::cli
