#pragma once

// Every file-mode run writes its output here, in the current directory, and
// moves it over the target only when something was guarded.
inline constexpr const char kScratchFileName[] = "$vb$tmp$.$$$";
