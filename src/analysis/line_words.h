// Reading a line as words the way guard discovery and guard tracking do:
// only a space ends a word, a tab belongs to it, and once a read has reached
// the end of the line every later read yields "".
#pragma once

#include <string>
#include <string_view>

namespace vimbo::analysis {

class LineWords {
public:
    explicit LineWords(std::string_view line) : line_(line) {}

    bool exhausted() const { return exhausted_; }
    // Skips white space, reads to a space, skips white space.
    std::string_view readWord();
    // Characters up to the delimiter, which is consumed, or up to the end.
    std::string_view readTo(char delimiter);
    // What the most recent read returned.
    std::string_view lastRead() const { return lastRead_; }

private:
    void skipWhiteSpace();

    std::string_view line_;
    std::string_view::size_type position_ = 0;
    std::string_view lastRead_;
    bool exhausted_ = false;
};

// The macro that a guard test in the word just read names: "#ifndef X" gives
// X, "#if !defined(X)" gives X; anything else gives nothing (false). The
// candidate is cut where a tab, a comment opener or a NUL begins, so it can
// never open a comment, nor end a C string, when written out as a guard.
bool readGuardTest(LineWords& words, std::string_view word, std::string& candidate);

}  // namespace vimbo::analysis
