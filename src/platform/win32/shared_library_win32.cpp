#include <windows.h>

#include "vimbo/engine/shared_library.h"

namespace vimbo::platform {

void* loadSharedLibrary(const std::string& name, std::string& problem) {
    HMODULE library = LoadLibraryA(name.c_str());
    if (!library) problem = name + ": can't be loaded (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(library);
}

void* sharedLibrarySymbol(void* library, const char* name) {
    if (!library) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace vimbo::platform
