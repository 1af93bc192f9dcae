// Scratch files that a run cut short (killed, or the power lost) left
// behind. One whose text is a file's of its directory but for external
// guards holds nothing that file lacks: the old text a swap took away, or
// a new text that was never put in place. The next run removes it.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

// Whether two texts differ only in external guards: "#ifndef M" / "#endif"
// pairs around include lines (one inside another too), and the "#line"
// directives that --keep-lines writes behind them.
bool sameButForGuards(std::string_view a, std::string_view b);

// Removes the scratch file `path` (a name a run writes under, left by one
// cut short) when a file beside it, `hint` first, holds all of its text
// but guards: true, with that file in `of`.
bool removeLeftover(const vimbo::platform::FileSystemOps& fs, const std::string& path, const std::string& hint,
                    std::string& of);
