#include "analysis/opt_out.h"

namespace vimbo::analysis {
namespace {

enum class Mark { none, off, on, keep, keepNext };

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

std::size_t skipBlanks(std::string_view line, std::size_t at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return at;
}

// The mark of the comment that begins at `at` ("//" or "/*"), if any.
Mark markAt(std::string_view line, std::size_t at) {
    std::size_t word = skipBlanks(line, at + 2);
    if (line.substr(word, 6) != "vimbo:") return Mark::none;
    word = skipBlanks(line, word + 6);
    std::size_t end = word;
    while (end < line.size() && isWordChar(line[end])) ++end;
    const std::string_view name = line.substr(word, end - word);
    if (name == "off") return Mark::off;
    if (name == "on") return Mark::on;
    if (name == "keep") return Mark::keep;
    if (name == "keep-next-line") return Mark::keepNext;
    return Mark::none;
}

}  // namespace

bool OptOutTracker::leaveAlone(std::string_view line, const std::vector<std::size_t>& commentStarts) {
    ++line_;
    bool alone = off_ || keepNext_;
    keepNext_ = false;
    if (commentStarts.empty() || line.find("vimbo:") == std::string_view::npos) return alone;
    // In line order: "off ... on" on one line ends switched on.
    for (std::size_t at : commentStarts) {
        switch (markAt(line, at)) {
        case Mark::off:
            if (!off_) {
                offLine_ = line_;
                offColumn_ = at + 1;
            }
            off_ = true;
            alone = true;
            break;
        case Mark::on: off_ = false; alone = true; break;
        case Mark::keep: alone = true; break;
        case Mark::keepNext: keepNext_ = true; break;
        case Mark::none: break;
        }
    }
    return alone;
}

}  // namespace vimbo::analysis
