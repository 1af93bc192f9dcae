#include "vimbo/engine/shared_library.h"

#include <dlfcn.h>

namespace vimbo::platform {

void* loadSharedLibrary(const std::string& name, std::string& problem) {
    // Its symbols kept to itself: a program that links another libgit2
    // keeps its own.
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        problem = why ? why : name + ": can't be loaded";
    }
    return library;
}

void* sharedLibrarySymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

}  // namespace vimbo::platform
