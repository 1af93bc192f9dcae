#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isIdentifierChar(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

bool isIdentifier(std::string_view text) {
    if (text.empty() || !isIdentifierStart(text[0])) return false;
    for (char c : text)
        if (!isIdentifierChar(c)) return false;
    return true;
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

void SourceScanner::codeChar(std::string_view body, std::size_t& i, ScannedLine& out) {
    const char c = body[i];
    const char next = i + 1 < body.size() ? body[i + 1] : '\0';
    const bool headerOperand =
        directive_ == Directive::operand ||
        (directive_ == Directive::name && isIncludeName(directiveName_) && (c == '<' || c == '"'));
    if (c == '/' && (next == '*' || next == '/')) {
        if (separatorSeen_) uncertain_ = true;
        directiveChar(' ');  // a comment counts as a blank
        state_ = next == '*' ? State::blockComment : State::lineComment;
        out.code += ' ';
        ++i;
        token_ = Token::none;
        return;
    }
    if (c == '%' && next == ':' && directive_ == Directive::start) {
        directive_ = Directive::hash;
        out.code += "%:";
        ++i;
        return;
    }
    out.code += c;
    if (headerOperand && (c == '<' || c == '"')) {
        // A header name: no comment, escape or literal inside it.
        directive_ = Directive::none;
        state_ = c == '<' ? State::headerName : State::string;
        quote_ = c == '<' ? '>' : '"';
        escapes_ = false;
        token_ = Token::none;
        return;
    }
    directiveChar(c);
    if (c == '"' || c == '\'') {
        if (c == '\'' && token_ == Token::number && isIdentifierChar(next)) {
            separatorSeen_ = true;  // 1'000: a digit separator in C++14 and C23
            return;
        }
        if (separatorSeen_) uncertain_ = true;
        if (c == '"' && token_ == Token::identifier && isRawPrefix(identifier_)) {
            const std::size_t open = body.find('(', i + 1);
            const std::string_view delimiter =
                body.substr(i + 1, open == std::string_view::npos ? 0 : open - i - 1);
            if (open != std::string_view::npos && delimiter.size() <= 16 &&
                delimiter.find_first_of(" \t\\)\"") == std::string_view::npos) {
                state_ = State::rawString;
                rawEnd_ = ")" + std::string(delimiter) + "\"";
                out.code.append(body.substr(i + 1, open - i));
                i = open;
                token_ = Token::none;
                return;
            }
        }
        state_ = State::string;
        quote_ = c;
        escapes_ = true;
        token_ = Token::none;
        return;
    }
    // Tokens, as far as literals need them: identifiers (for raw-string
    // prefixes) and numbers (for digit separators).
    if (token_ == Token::number) {
        if (isIdentifierChar(c) || c == '.') return;
        if ((c == '+' || c == '-') && i > 0 &&
            (body[i - 1] == 'e' || body[i - 1] == 'E' || body[i - 1] == 'p' || body[i - 1] == 'P'))
            return;
    } else if (token_ == Token::identifier && isIdentifierChar(c)) {
        identifier_ += c;
        return;
    }
    if (isDigit(c) || (c == '.' && isDigit(next))) {
        token_ = Token::number;
    } else if (isIdentifierStart(c)) {
        token_ = Token::identifier;
        identifier_.assign(1, c);
    } else {
        token_ = Token::none;
    }
}

ScannedLine SourceScanner::feed(std::string_view line) {
    ScannedLine out;
    out.startsClean = state_ == State::code && !continued_;
    if (!continued_) {
        directive_ = Directive::start;
        directiveName_.clear();
        separatorSeen_ = false;
    }
    token_ = Token::none;
    // Trigraphs: a compiler that reads them sees another line structure.
    // ("?\?" keeps them from being trigraphs here.)
    if (line.find("?\?=") != std::string_view::npos || line.find("?\?/") != std::string_view::npos)
        uncertain_ = true;

    const std::size_t splice = state_ == State::rawString ? std::string_view::npos : spliceAt(line);
    const std::string_view body = splice == std::string_view::npos ? line : line.substr(0, splice);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        switch (state_) {
        case State::code:
            codeChar(body, i, out);
            break;
        case State::blockComment:
            if (c == '*' && i + 1 < body.size() && body[i + 1] == '/') {
                state_ = State::code;
                ++i;
            }
            break;
        case State::lineComment:
            i = body.size();
            break;
        case State::string:
        case State::headerName:
            out.code += c;
            if (c == '\\' && escapes_ && i + 1 < body.size()) {
                out.code += body[++i];
            } else if (c == quote_) {
                state_ = State::code;
            }
            break;
        case State::rawString: {
            const std::size_t close = body.find(rawEnd_, i);
            if (close == std::string_view::npos) {
                out.code.append(body.substr(i));
                i = body.size();
            } else {
                out.code.append(body.substr(i, close + rawEnd_.size() - i));
                i = close + rawEnd_.size() - 1;
                state_ = State::code;
            }
            break;
        }
        }
    }

    out.continues = splice != std::string_view::npos;
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
    return out;
}

}  // namespace vimbo::analysis
