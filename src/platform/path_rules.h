// How this platform's users write paths and lists of them.
#pragma once

namespace vimbo::platform {

#ifdef _WIN32
inline constexpr bool kColonSeparatesSearchPaths = false;  // "C:\\x" is one entry
inline constexpr bool kBackslashSeparates = true;
#else
inline constexpr bool kColonSeparatesSearchPaths = true;   // the habit of PATH and CPATH
// A "\\" is a character of a name here, which this layer turns into "/".
inline constexpr bool kBackslashSeparates = false;
#endif

}  // namespace vimbo::platform
