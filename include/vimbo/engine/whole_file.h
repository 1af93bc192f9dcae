// Files a front end reads whole for itself (a build's database, a
// configuration, a list of files, a response file): regular files only, and
// only up to a size, so that a pipe, a device or a sparse file of gigabytes
// in their place can neither hang the run nor take its memory.
#pragma once

#include <cstdint>
#include <string>

namespace vimbo::engine {

enum class WholeFile { read, missing, notRegular, tooLarge, unreadable };

// The bytes of the regular file at `path`, if it holds at most `limit` (its
// size as the open finds it: nothing is read of a larger one). A directory,
// device or pipe is refused without being read; a link is followed.
WholeFile readRegularFile(const std::string& path, std::uint64_t limit, std::string& bytes);

}  // namespace vimbo::engine
