#include "analysis/source_scanner.h"

#include <algorithm>

namespace vimbo::analysis {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\0'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

namespace {
bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isIdentifierChar(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Characters that may open a comment or literal, splice lines or begin a
// trigraph; a line without any of them is plain code.
struct SpecialChars {
    bool table[256] = {};
    SpecialChars() {
        for (unsigned char c : std::string_view("/\"'\\?")) table[c] = true;
    }
    bool operator()(char c) const { return table[static_cast<unsigned char>(c)]; }
};
const SpecialChars isSpecial;

// Directives whose operand may be a header name, read without escapes.
bool isIncludeName(const std::string& name) {
    return name == "include" || name == "include_next" || name == "import";
}

bool isRawPrefix(const std::string& identifier) {
    return identifier == "R" || identifier == "LR" || identifier == "uR" || identifier == "UR" ||
           identifier == "u8R";
}

// Where a line's splice begins: a backslash that only blanks follow. The
// compilers join such lines even with the blanks (they warn about them).
std::size_t spliceAt(std::string_view line) {
    std::size_t end = line.size();
    while (end > 0 && isBlank(line[end - 1])) --end;
    if (end > 0 && line[end - 1] == '\\') return end - 1;
    return std::string_view::npos;
}
}  // namespace

std::size_t identifierLength(std::string_view text) {
    if (text.empty() || !isIdentifierStart(text[0])) return 0;
    std::size_t end = 1;
    while (end < text.size() && isIdentifierChar(text[end])) ++end;
    return end;
}

bool isIdentifier(std::string_view text) {
    if (text.empty() || !isIdentifierStart(text[0])) return false;
    for (char c : text)
        if (!isIdentifierChar(c)) return false;
    return true;
}

bool breaksLinesAnotherWay(std::string_view line) {
    // Two scans of the line, not one lookup in a set per character.
    return line.find('\r') != std::string_view::npos || line.find('\x1a') != std::string_view::npos;
}

bool readDirective(std::string_view code, std::string_view& name, std::string_view& rest) {
    std::size_t i = 0;
    while (i < code.size() && isBlank(code[i])) ++i;
    if (i < code.size() && code[i] == '#') {
        ++i;
    } else if (code.substr(i, 2) == "%:") {
        i += 2;
    } else {
        return false;
    }
    while (i < code.size() && isBlank(code[i])) ++i;
    std::size_t start = i;
    while (i < code.size() && isIdentifierChar(code[i])) ++i;
    name = code.substr(start, i - start);
    rest = code.substr(i);
    return true;
}

void SourceScanner::directiveChar(char c) {
    switch (directive_) {
    case Directive::start:
        if (c == '#') directive_ = Directive::hash;
        else if (!isBlank(c)) directive_ = Directive::none;
        break;
    case Directive::hash:
        if (isIdentifierStart(c)) {
            directive_ = Directive::name;
            directiveName_.assign(1, c);
        } else if (!isBlank(c)) {
            directive_ = Directive::none;
        }
        break;
    case Directive::name:
        if (isIdentifierChar(c)) {
            directiveName_ += c;
        } else {
            directive_ = isIncludeName(directiveName_) && isBlank(c) ? Directive::operand : Directive::none;
        }
        break;
    case Directive::operand:
        if (!isBlank(c)) directive_ = Directive::none;
        break;
    case Directive::none:
        break;
    }
}

// The token that ends just before position `at` of a line: an identifier
// (for raw-string prefixes such as u8R) or a number (for digit separators).
// Numbers are looked back through at most this many characters.
constexpr std::size_t kLongestNumber = 4096;
enum class Token { none, identifier, number, unknown };
Token tokenBefore(std::string_view body, std::size_t at, std::string_view& text) {
    std::size_t start = at;
    while (start > 0 && (isIdentifierChar(body[start - 1]) || body[start - 1] == '.')) --start;
    text = body.substr(start, at - start);
    if (text.empty()) return Token::none;
    auto numberStart = [&](std::size_t i) { return isDigit(body[i]) || (body[i] == '.' && i + 1 < at && isDigit(body[i + 1])); };
    if (numberStart(start)) return Token::number;
    if (start >= 2 && body[start - 1] == '\'' && isIdentifierChar(body[start - 2])) {
        // 1'000'a: after a digit separator the run still belongs to the number.
        std::size_t first = start;
        while (first > 0 && at - first < kLongestNumber &&
               (isIdentifierChar(body[first - 1]) || body[first - 1] == '.' || body[first - 1] == '\''))
            --first;
        if (at - first >= kLongestNumber) return Token::unknown;
        while (first < start && body[first] == '\'') ++first;
        if (numberStart(first)) return Token::number;
    }
    const std::size_t dot = text.rfind('.');
    if (dot != std::string_view::npos) text = text.substr(dot + 1);
    return isIdentifier(text) ? Token::identifier : Token::none;
}

std::size_t SourceScanner::ordinaryRun(std::string_view body, std::size_t i) {
    if (directive_ != Directive::none) return i;
    std::size_t end = i;
    while (end < body.size() && !isSpecial(body[end])) ++end;
    code_.append(body.substr(i, end - i));
    return end;
}

void SourceScanner::codeChar(std::string_view body, std::size_t& i) {
    const char c = body[i];
    const char next = i + 1 < body.size() ? body[i + 1] : '\0';
    const bool headerOperand =
        (c == '<' || c == '"') &&
        (directive_ == Directive::operand || (directive_ == Directive::name && isIncludeName(directiveName_)));
    if (c == '/' && (next == '*' || next == '/')) {
        if (separatorSeen_) uncertain_ = true;
        directiveChar(' ');  // a comment counts as a blank
        commentStarts_.push_back(i);
        state_ = next == '*' ? State::blockComment : State::lineComment;
        code_ += ' ';
        ++i;
        return;
    }
    if (c == '%' && next == ':' && directive_ == Directive::start) {
        directive_ = Directive::hash;
        code_ += "%:";
        ++i;
        return;
    }
    code_ += c;
    if (headerOperand && (c == '<' || c == '"')) {
        // A header name: no comment, escape or literal inside it.
        directive_ = Directive::none;
        state_ = c == '<' ? State::headerName : State::string;
        quote_ = c == '<' ? '>' : '"';
        escapes_ = false;
        return;
    }
    directiveChar(c);
    if (c != '"' && c != '\'') return;
    std::string_view token;
    const Token before = tokenBefore(body, i, token);
    if (before == Token::unknown) uncertain_ = true;
    if (c == '\'' && before == Token::number && isIdentifierChar(next)) {
        separatorSeen_ = true;  // 1'000: a digit separator in C++14 and C23
        return;
    }
    if (separatorSeen_) uncertain_ = true;
    if (c == '"' && before == Token::identifier && isRawPrefix(std::string(token))) {
        const std::size_t open = body.find('(', i + 1);
        const std::string_view delimiter = body.substr(i + 1, open == std::string_view::npos ? 0 : open - i - 1);
        if (open != std::string_view::npos && delimiter.size() <= 16 &&
            delimiter.find_first_of(" \t\\)\"") == std::string_view::npos) {
            state_ = State::rawString;
            rawEnd_ = ")" + std::string(delimiter) + "\"";
            code_.append(body.substr(i + 1, open - i));
            i = open;
            return;
        }
    }
    state_ = State::string;
    quote_ = c;
    escapes_ = true;
}

ScannedLine SourceScanner::feed(std::string_view line) {
    ScannedLine out;
    commentStarts_.clear();
    out.startsClean = state_ == State::code && !continued_;
    if (out.startsClean && std::none_of(line.begin(), line.end(), isSpecial)) {
        // Plain code, the common line: nothing can open or continue here.
        out.code = line;
        out.endsClean = true;
        directive_ = Directive::start;
        separatorSeen_ = false;
        return out;
    }
    if (!continued_) {
        directive_ = Directive::start;
        directiveName_.clear();
        separatorSeen_ = false;
    }
    // Trigraphs: a compiler that reads them sees another line structure.
    // ("?\?" keeps them from being trigraphs here.)
    for (std::size_t q = line.find('?'); q != std::string_view::npos && !uncertain_; q = line.find('?', q + 1))
        if (q + 2 < line.size() && line[q + 1] == '?' && (line[q + 2] == '=' || line[q + 2] == '/')) uncertain_ = true;

    code_.clear();
    const std::size_t splice = state_ == State::rawString ? std::string_view::npos : spliceAt(line);
    const std::string_view body = splice == std::string_view::npos ? line : line.substr(0, splice);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        switch (state_) {
        case State::code:
            i = ordinaryRun(body, i);
            if (i < body.size()) codeChar(body, i);
            break;
        case State::blockComment: {
            const std::size_t close = body.find("*/", i);
            if (close == std::string_view::npos) {
                i = body.size();
            } else {
                state_ = State::code;
                i = close + 1;
            }
            break;
        }
        case State::lineComment:
            i = body.size();
            break;
        case State::string:
        case State::headerName:
            code_ += c;
            if (c == '\\' && escapes_ && i + 1 < body.size()) {
                code_ += body[++i];
            } else if (c == quote_) {
                state_ = State::code;
            }
            break;
        case State::rawString: {
            const std::size_t close = body.find(rawEnd_, i);
            if (close == std::string_view::npos) {
                code_.append(body.substr(i));
                i = body.size();
            } else {
                code_.append(body.substr(i, close + rawEnd_.size() - i));
                i = close + rawEnd_.size() - 1;
                state_ = State::code;
            }
            break;
        }
        }
    }

    out.continues = splice != std::string_view::npos;
    out.joinsNext = out.continues || state_ == State::blockComment;
    continued_ = out.continues;
    if (state_ == State::rawString) uncertain_ = true;  // C reads no raw strings over lines
    bool leftOpen = state_ != State::code && state_ != State::lineComment;
    if (!out.continues) {
        // A literal or header name ends with its line, unterminated; a line
        // comment simply ends.
        if (state_ == State::string || state_ == State::headerName || state_ == State::lineComment)
            state_ = State::code;
    }
    out.endsClean = !out.continues && !leftOpen;
    out.code = code_;
    return out;
}

}  // namespace vimbo::analysis
