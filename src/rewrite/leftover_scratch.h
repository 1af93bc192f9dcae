// Scratch files that a run cut short (killed, or the power lost) left
// behind. One that holds exactly the old text of a file beside it (the
// file a swap took away, or a backup's copy), where that file's text now
// is the same but for the external guards the run added, holds nothing the
// file lacks: the next run removes it. Any other stays, for the user.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace vimbo::rewrite {

// Whether two texts differ only in external guards: "#ifndef M" / "#endif"
// pairs around include lines (one inside another too), and the "#line"
// directives that --keep-lines writes.
bool sameButForGuards(std::string_view a, std::string_view b);

// Whether `old` is exactly what `current` was before guards were added to
// it: `current` itself, or `current` with its external guards taken away.
bool oldTextOf(std::string_view old, std::string_view current);

// Removes the scratch file `path` (a name a run writes under, left by one
// cut short) when it holds the old text of a file beside it (`hint` first)
// or nothing at all: true, with that file in `of` ("" for an empty one).
bool removeLeftover(const vimbo::platform::FileSystemOps& fs, const std::string& path, const std::string& hint,
                    std::string& of);

}  // namespace vimbo::rewrite
