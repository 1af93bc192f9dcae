#include "vimbo/engine/thrown.h"

#include <new>

namespace vimbo::engine {

std::string thrownText(const std::exception_ptr& thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an unknown exception";
    }
}

}  // namespace vimbo::engine
