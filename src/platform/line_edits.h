// A text kept as its whole-line edits against another: what a dry run keeps
// of a rewritten file, whose lines are the old ones with guard lines put in
// or taken out. The edits cost memory in proportion to the lines changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vimbo::platform {

struct LineEdits {
    // A run of bytes, taken from the base or from `inserted`: eight bytes,
    // as a dry run keeps a few per include it wraps in every file (texts of
    // 2 GiB or more are kept whole).
    struct Piece {
        std::uint32_t offset;
        std::uint32_t length : 31;
        std::uint32_t inserted : 1;
    };
    std::vector<Piece> pieces;
    std::string inserted;
    // The base they apply to, told by its size and a hash of its bytes.
    std::size_t baseSize = 0;
    std::size_t baseHash = 0;
};

// Edits that turn `base` into `text`, or false when they would take as much
// memory as the text itself.
bool lineEdits(std::string_view base, std::string_view text, LineEdits& edits);

// `text` from the base; false when `base` is not the text the edits were made against.
bool applyLineEdits(const LineEdits& edits, std::string_view base, std::string& text);

}  // namespace vimbo::platform
