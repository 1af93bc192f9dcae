#include <cstdio>

#include "rewrite/processor.h"

namespace vimbo::rewrite {

FileRunResult Vimbo::run() {
    if (!settings_) return {};
    if (settings_->inputMode() == 0) {
        const std::string result = processLine();
        std::fwrite(result.data(), 1, result.size(), stdout);
        std::fflush(stdout);
    } else if (settings_->inputMode() == 1) {
        return rewriteFile();
    }
    return {};
}

}  // namespace vimbo::rewrite
