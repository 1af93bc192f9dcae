// Reading the name and kind of an include directive from one line.
#include "analysis/include_directive.h"

#include "analysis/keywords.h"
#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {
// A directive behind a comment opener is commented out. A "//" anywhere in
// the line decides; only a line without one is checked for "/*".
bool commentedOut(const std::string& line, std::string::size_type keyword) {
    std::string::size_type marker = line.find("//");
    if (marker == std::string::npos) marker = line.find("/*");
    return marker != std::string::npos && marker < keyword;
}
}  // namespace

std::string parseIncludeOperand(const std::string& line, IncludeKind& kind, bool& delimited) {
    kind = includeNone;
    delimited = false;
    std::string::size_type keyword = line.find(kIncludeKeyword);
    if (keyword == std::string::npos) return "";
    if (keyword != 0 && commentedOut(line, keyword)) return "";

    std::string::size_type start = line.find_first_not_of(" \t", keyword + kIncludeKeyword.size());
    if (start == std::string::npos) return "";

    const char* terminators;
    const bool opened = line[start] == '"' || line[start] == '<';
    if (line[start] == '"') {
        kind = includeQuoted;
        terminators = "\"";
        ++start;
    } else if (line[start] == '<') {
        kind = includeAngle;
        terminators = ">";
        ++start;
    } else {
        kind = includeAngle;
        terminators = " \t\n\r";
    }
    std::string::size_type end = line.find_first_of(terminators, start);
    // Only a closed header name is one the compiler accepts.
    delimited = opened && end != std::string::npos;
    if (end == std::string::npos) end = line.size();
    return line.substr(start, end - start);
}

bool compilerHeaderName(std::string_view rest, std::string& name, bool& quoted) {
    rest = trimBlanks(rest);
    if (rest.size() < 3) return false;
    const char close = rest[0] == '"' ? '"' : rest[0] == '<' ? '>' : '\0';
    const std::size_t end = close ? rest.find(close, 1) : std::string_view::npos;
    if (end == std::string_view::npos || end + 1 != rest.size()) return false;
    name = std::string(rest.substr(1, end - 1));
    quoted = close == '"';
    return true;
}

bool compilerIncludeName(std::string_view line, std::string& name, bool& quoted) {
    SourceScanner scanner;
    const ScannedLine scanned = scanner.feed(line);
    std::string_view directive, rest;
    return readDirective(scanned.code, directive, rest) && directive == "include" &&
           compilerHeaderName(rest, name, quoted);
}

}  // namespace vimbo::analysis
