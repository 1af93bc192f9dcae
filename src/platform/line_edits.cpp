#include "platform/line_edits.h"

#include <functional>

namespace vimbo::platform {
namespace {

static_assert(sizeof(LineEdits::Piece) == 8, "a piece is kept per run of lines in every rewritten file");

// Lines with their endings; the last one may have none.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// How far ahead a run of put-in or taken-out lines is looked for: a wrap
// puts in one line at a time, a block of them a few.
constexpr std::size_t kLookAhead = 16;

class Builder {
public:
    Builder(std::string_view base, LineEdits& edits) : base_(base), edits_(edits) {}
    void keep(std::string_view line) { add(static_cast<std::uint32_t>(line.data() - base_.data()), line.size(), false); }
    void insert(std::string_view line) {
        add(edits_.inserted.size(), line.size(), true);
        edits_.inserted.append(line);
    }

private:
    void add(std::size_t offset, std::size_t length, bool inserted) {
        const auto shortOffset = static_cast<std::uint32_t>(offset);
        const auto shortLength = static_cast<std::uint32_t>(length);
        if (!edits_.pieces.empty()) {
            LineEdits::Piece& last = edits_.pieces.back();
            if (bool(last.inserted) == inserted && last.offset + last.length == shortOffset) {
                last.length += shortLength;
                return;
            }
        }
        LineEdits::Piece piece;
        piece.offset = shortOffset;
        piece.length = shortLength;
        piece.inserted = inserted;
        edits_.pieces.push_back(piece);
    }
    std::string_view base_;
    LineEdits& edits_;
};

}  // namespace

bool lineEdits(std::string_view base, std::string_view text, LineEdits& edits) {
    edits = LineEdits{};
    constexpr std::size_t kLimit = std::size_t{1} << 31;  // a piece's length
    if (base.size() >= kLimit || text.size() >= kLimit) return false;
    edits.baseSize = base.size();
    edits.baseHash = std::hash<std::string_view>{}(base);
    const std::vector<std::string_view> old = linesOf(base), now = linesOf(text);
    Builder build(base, edits);
    std::size_t i = 0, j = 0;
    // Every line of the text is taken from the base only where the two are
    // equal, so the edits give the text back whatever lines they pair.
    while (j < now.size()) {
        if (i < old.size() && old[i] == now[j]) {
            build.keep(old[i++]);
            ++j;
            continue;
        }
        std::size_t k = 1;
        for (; k <= kLookAhead; ++k) {
            if (i < old.size() && j + k < now.size() && now[j + k] == old[i]) {
                for (; k > 0; --k) build.insert(now[j++]);
                break;
            }
            if (i + k < old.size() && old[i + k] == now[j]) {
                i += k;
                break;
            }
        }
        if (k > kLookAhead) {
            build.insert(now[j++]);
            if (i < old.size()) ++i;
        }
    }
    // Kept for the rest of the run: no room left over from growing.
    edits.pieces.shrink_to_fit();
    edits.inserted.shrink_to_fit();
    const std::size_t cost = edits.inserted.size() + edits.pieces.size() * sizeof(LineEdits::Piece);
    return cost < text.size();
}

bool applyLineEdits(const LineEdits& edits, std::string_view base, std::string& text) {
    if (base.size() != edits.baseSize || std::hash<std::string_view>{}(base) != edits.baseHash) return false;
    text.clear();
    for (const LineEdits::Piece& piece : edits.pieces)
        text.append(piece.inserted ? std::string_view(edits.inserted).substr(piece.offset, piece.length)
                                   : base.substr(piece.offset, piece.length));
    return true;
}

}  // namespace vimbo::platform
