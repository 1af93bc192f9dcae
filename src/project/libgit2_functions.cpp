#include "project/libgit2_functions.h"

#include <mutex>

#include "vimbo/engine/shared_library.h"

namespace vimbo::project {

bool loadLibgit2(std::string& problem) {
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        void* library = vimbo::platform::loadSharedLibrary(VIMBO_LIBGIT2_SONAME, failure);
        if (!library) return;
#define VIMBO_LIBGIT2_LOAD(name)                                                                                \
    if (failure.empty()) {                                                                                     \
        name = reinterpret_cast<decltype(name)>(vimbo::platform::sharedLibrarySymbol(library, #name));         \
        if (!name) failure = VIMBO_LIBGIT2_SONAME ": no " #name;                                               \
    }
        VIMBO_LIBGIT2_FUNCTIONS(VIMBO_LIBGIT2_LOAD)
#undef VIMBO_LIBGIT2_LOAD
    });
    problem = failure;
    return failure.empty();
}

}  // namespace vimbo::project
