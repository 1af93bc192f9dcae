#include "analysis/line_words.h"

#include <algorithm>

#include "analysis/keywords.h"

namespace vimbo::analysis {
namespace {
bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view cutAtCommentOrTab(std::string_view candidate) {
    // A NUL would also end the guarded text early wherever it is handed on
    // as a C string, losing the include line and the "#endif".
    std::string_view::size_type cut = std::min(
        {candidate.find('\t'), candidate.find("/*"), candidate.find("//"), candidate.find('\0')});
    return cut == std::string_view::npos ? candidate : candidate.substr(0, cut);
}
}  // namespace

void LineWords::skipWhiteSpace() {
    if (exhausted_) return;
    while (position_ < line_.size() && isWhiteSpace(line_[position_])) ++position_;
    if (position_ == line_.size()) exhausted_ = true;
}

std::string_view LineWords::readTo(char delimiter) {
    if (exhausted_) return lastRead_ = std::string_view();
    std::string_view::size_type end = line_.find(delimiter, position_);
    if (end == std::string_view::npos) {
        lastRead_ = line_.substr(position_);
        position_ = line_.size();
        exhausted_ = true;
    } else {
        lastRead_ = line_.substr(position_, end - position_);
        position_ = end + 1;
    }
    return lastRead_;
}

std::string_view LineWords::readWord() {
    skipWhiteSpace();
    std::string_view word = readTo(' ');
    skipWhiteSpace();
    lastRead_ = word;
    return word;
}

bool readGuardTest(LineWords& words, std::string_view word, std::string& candidate) {
    if (word == kIfndefKeyword) {
        candidate = cutAtCommentOrTab(words.readTo(' '));
        return true;
    }
    if (word == kIfKeyword && words.readTo('(') == kDefinedKeyword) {
        candidate = cutAtCommentOrTab(words.readTo(')'));
        return true;
    }
    return false;
}

}  // namespace vimbo::analysis
