// Runs file mode as the exported function does and keeps what it printed.
#pragma once

#include <string>

#include "rewrite/processor.h"

namespace vimbo::test {

struct FileRun {
    int result;
    std::string printed;
    bool failed;
};

FileRun runFileMode(const std::string& input, const std::string& includePath, bool backup = false,
                    const std::string& output = "");

}  // namespace vimbo::test
