// How this platform's users write paths and lists of them.
#pragma once

namespace vimbo::platform {

#ifdef _WIN32
inline constexpr bool kColonSeparatesSearchPaths = false;  // "C:\\x" is one entry
#else
inline constexpr bool kColonSeparatesSearchPaths = true;   // the habit of PATH and CPATH
#endif

}  // namespace vimbo::platform
