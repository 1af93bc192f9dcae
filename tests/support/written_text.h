// What a rewrite writes for lines that end in "\n": the same bytes where every
// byte is kept, CR LF at each line break in Windows text mode.
#pragma once

#include <string>

#include "platform/line_endings.h"

namespace vimbo::test {

inline constexpr bool kTextMode = vimbo::platform::kSystemLineEndings == vimbo::platform::LineEndings::textMode;

inline std::string asWritten(const std::string& text) {
    if (!kTextMode) return text;
    std::string result;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
        result += text[i];
    }
    return result;
}

}  // namespace vimbo::test
