// Following C or C++ source line by line the way the preprocessor's lexer
// does: comments, string and character literals, raw strings, header names
// and continued lines. It tells which lines are directives the preprocessor
// really sees, and what their text is once comments count as blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vimbo::analysis {

struct ScannedLine {
    // The line with every comment replaced by one blank; it views the line
    // fed or the scanner's own buffer, so it holds until the next line is fed.
    std::string_view code;
    bool startsClean = false;  // begins outside comments and literals and continues no earlier line
    bool endsClean = false;    // leaves nothing open and does not continue onto the next line
    bool continues = false;    // ends in a backslash: the next line is part of it
    // The next line belongs to the same logical line: a backslash splices it
    // on, or a block comment runs on into it (a comment is one blank, its
    // line breaks too, so a directive goes on behind it).
    bool joinsNext = false;
};

class SourceScanner {
public:
    // One physical line, without its line break.
    ScannedLine feed(std::string_view line);
    // A block comment or raw string is still open (at the end of a file).
    bool open() const { return state_ == State::blockComment || state_ == State::rawString; }
    // The text reads differently as C and as C++ (digit separators, raw
    // strings over several lines, trigraphs): nothing after it can be trusted.
    bool uncertain() const { return uncertain_; }
    // Where comments begin on the line fed last (the offset of their "/"):
    // text read there is comment, never a string or character literal.
    const std::vector<std::size_t>& commentStarts() const { return commentStarts_; }

private:
    enum class State { code, blockComment, lineComment, string, headerName, rawString };
    enum class Directive { start, hash, name, operand, none };

    void codeChar(std::string_view body, std::size_t& i);
    // Copies the run of characters from i that can neither open a comment
    // or literal nor matter to a directive's name; returns where it stopped.
    std::size_t ordinaryRun(std::string_view body, std::size_t i);
    void directiveChar(char c);

    State state_ = State::code;
    std::string code_;          // the code of the line being fed, when it differs from the line
    char quote_ = 0;
    bool escapes_ = true;
    std::string rawEnd_;        // ")delimiter\"" that closes the raw string
    bool continued_ = false;    // the previous line ended in a backslash
    bool uncertain_ = false;
    std::vector<std::size_t> commentStarts_;
    // Within the current logical line:
    Directive directive_ = Directive::start;
    std::string directiveName_;
    bool separatorSeen_ = false;
};

// The directive of a line of code (comments already blanked): its name after
// "#" (or "%:") and blanks, and the rest behind the name. False when the line
// is no directive; a lone "#" is one with an empty name.
bool readDirective(std::string_view code, std::string_view& name, std::string_view& rest);

// A byte-order mark: it stays the first bytes of a file, so its line is
// never wrapped or taken away.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Where every byte is kept, a lone carriage return or a Ctrl-Z stays inside
// a line; compilers may take either for the end of a line or of the file,
// so the lines after it are not the lines the compiler sees.
bool breaksLinesAnotherWay(std::string_view line);

// Whether a text is a C identifier.
bool isIdentifier(std::string_view text);
// How many characters of the identifier `text` begins with (0: none).
std::size_t identifierLength(std::string_view text);

// Blanks within a line: space, tab, vertical tab, form feed, and NUL, which
// the compilers take for a blank (with a warning).
bool isBlank(char c);
// The text without the blanks at either end.
std::string_view trimBlanks(std::string_view text);

}  // namespace vimbo::analysis
