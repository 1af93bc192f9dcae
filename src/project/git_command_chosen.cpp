// A build without libgit2 asks the git command (see git_command.cpp).
#include "project/git_access.h"

namespace vimbo::project {

const GitAccess& gitAccess() { return gitCommand(); }

}  // namespace vimbo::project
