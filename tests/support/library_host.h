// Loads the shared library the way a host program does and finds the two
// exported functions by their exported names.
#pragma once

#include <string>

namespace vimbo::test {

using LineFunction = const char* (*)(const char* includePath, const char* line);
using FileFunction = int (*)(const char* includePath, const char* fileName, char makeBackup);

struct LoadedLibrary {
    void* handle = nullptr;
    LineFunction line = nullptr;
    FileFunction file = nullptr;
    std::string error;
};

LoadedLibrary loadVimboLibrary(const std::string& path);
// The address exported under a name, or null.
void* exportedSymbol(const LoadedLibrary& library, const char* name);

}  // namespace vimbo::test
