#include "analysis/opt_out.h"

namespace vimbo::analysis {
namespace {

enum class Mark { none, off, on, keep };

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

std::size_t skipBlanks(std::string_view line, std::size_t at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return at;
}

// The last mark on the line: "off ... on" on one line ends switched on.
Mark markOf(std::string_view line) {
    Mark mark = Mark::none;
    if (line.find("vimbo:") == std::string_view::npos) return mark;
    for (std::size_t at = 0; (at = line.find('/', at)) != std::string_view::npos; ++at) {
        if (at + 1 >= line.size() || (line[at + 1] != '/' && line[at + 1] != '*')) continue;
        std::size_t word = skipBlanks(line, at + 2);
        if (line.substr(word, 6) != "vimbo:") continue;
        word = skipBlanks(line, word + 6);
        std::size_t end = word;
        while (end < line.size() && isWordChar(line[end])) ++end;
        const std::string_view name = line.substr(word, end - word);
        if (name == "off") mark = Mark::off;
        else if (name == "on") mark = Mark::on;
        else if (name == "keep" && mark == Mark::none) mark = Mark::keep;
    }
    return mark;
}

}  // namespace

bool OptOutTracker::leaveAlone(std::string_view line) {
    const bool wasOff = off_;
    switch (markOf(line)) {
    case Mark::off: off_ = true; return true;
    case Mark::on: off_ = false; return true;
    case Mark::keep: return true;
    case Mark::none: break;
    }
    return wasOff;
}

}  // namespace vimbo::analysis
