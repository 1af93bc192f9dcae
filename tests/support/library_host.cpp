#include "support/library_host.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vimbo::test {

void* exportedSymbol(const LoadedLibrary& library, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library.handle), name));
#else
    return dlsym(library.handle, name);
#endif
}

LoadedLibrary loadVimboLibrary(const std::string& path) {
    LoadedLibrary library;
#ifdef _WIN32
    library.handle = LoadLibraryA(path.c_str());
    if (!library.handle) library.error = "LoadLibraryA failed: " + std::to_string(GetLastError());
#else
    library.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) library.error = dlerror();
#endif
    if (!library.handle) return library;
    library.line = reinterpret_cast<LineFunction>(exportedSymbol(library, "_Vimbo_Line"));
    library.file = reinterpret_cast<FileFunction>(exportedSymbol(library, "_Vimbo_File"));
    if (!library.line || !library.file) library.error = "exported functions not found";
    return library;
}

}  // namespace vimbo::test
