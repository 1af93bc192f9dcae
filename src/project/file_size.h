// Sizes of files as a user writes them (vimbo/engine/file_size.h): the
// project's readers of configurations and lists take them by these names.
#pragma once

#include "vimbo/engine/file_size.h"

namespace vimbo::project {

using vimbo::engine::fileSizeText;
using vimbo::engine::parseFileSize;

}  // namespace vimbo::project
