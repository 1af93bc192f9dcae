// What reading and writing a file does to its line breaks. Windows programs
// read and write sources in text mode: carriage returns are dropped on
// reading, every line break is written as CR LF, and a Ctrl-Z ends the input.
// Elsewhere every byte is kept, so each line keeps its own ending.
#pragma once

namespace vimbo::platform {

enum class LineEndings { kept, textMode };

#ifdef _WIN32
inline constexpr LineEndings kSystemLineEndings = LineEndings::textMode;
#else
inline constexpr LineEndings kSystemLineEndings = LineEndings::kept;
#endif

}  // namespace vimbo::platform
