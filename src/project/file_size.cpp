#include "vimbo/engine/file_size.h"

#include <cctype>
#include <utility>

namespace vimbo::engine {

bool parseFileSize(const std::string& text, std::uint64_t& bytes) {
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (i == 0) return false;
    unsigned shift = 0;
    if (i + 1 == text.size()) {
        switch (std::toupper(static_cast<unsigned char>(text[i]))) {
        case 'K': shift = 10; break;
        case 'M': shift = 20; break;
        case 'G': shift = 30; break;
        default: return false;
        }
    } else if (i != text.size()) {
        return false;
    }
    if (value == 0 || value > (UINT64_MAX >> shift)) return false;
    bytes = value << shift;
    return true;
}

std::string fileSizeText(std::uint64_t bytes) {
    static const std::pair<unsigned, char> kUnits[] = {{30, 'G'}, {20, 'M'}, {10, 'K'}};
    for (const auto& [shift, letter] : kUnits)
        if (bytes != 0 && bytes % (std::uint64_t{1} << shift) == 0)
            return std::to_string(bytes >> shift) + letter;
    return std::to_string(bytes);
}

}  // namespace vimbo::engine
