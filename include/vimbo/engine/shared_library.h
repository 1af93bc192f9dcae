// Libraries loaded when a feature is first used, not by every run at start:
// linked in, libgit2 and the dozen libraries it needs cost each run about
// 7 ms before main, whether or not git is asked anything.
#pragma once

#include <string>

namespace vimbo::platform {

// The library of that file name, loaded for the rest of the process; null,
// with `problem` saying why, when it can't be.
void* loadSharedLibrary(const std::string& name, std::string& problem);

// The address of a function the library exports, or null.
void* sharedLibrarySymbol(void* library, const char* name);

}  // namespace vimbo::platform
