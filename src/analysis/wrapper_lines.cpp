#include "analysis/wrapper_lines.h"

#include <cctype>

#include "analysis/source_scanner.h"

namespace vimbo::analysis {
namespace {

// Takes `word` at the front of `text` (after blanks); false, text unchanged, if it is not there.
bool take(std::string_view& text, std::string_view word) {
    const std::string_view rest = trimBlanks(text);
    if (rest.substr(0, word.size()) != word) return false;
    text = rest.substr(word.size());
    return true;
}

// An identifier at the front of `text` (after blanks), taken off it.
std::string_view takeIdentifier(std::string_view& text) {
    text = trimBlanks(text);
    std::size_t end = 0;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return isIdentifier(word) ? word : std::string_view();
}

// Letters and digits only, upper case: how guard names and file names meet.
std::string letters(std::string_view text) {
    std::string kept;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c))) kept += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return kept;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

std::string wrapperOpening(std::string_view code) {
    std::string_view name, rest;
    if (!readDirective(code, name, rest)) return "";
    std::string_view macro;
    if (name == "ifndef") {
        macro = takeIdentifier(rest);
    } else if (name == "if" && take(rest, "!") && take(rest, "defined")) {
        // "defined" must end there: "!definedX" is another macro.
        if (!rest.empty() && (std::isalnum(static_cast<unsigned char>(rest[0])) || rest[0] == '_')) return "";
        const bool parenthesised = take(rest, "(");
        macro = takeIdentifier(rest);
        if (parenthesised && !take(rest, ")")) return "";
    }
    if (macro.empty() || macro == "defined" || !trimBlanks(rest).empty()) return "";
    return std::string(macro);
}

bool wrapperClosing(std::string_view code) {
    std::string_view name, rest;
    return readDirective(code, name, rest) && name == "endif" && trimBlanks(rest).empty();
}

bool macroNamesHeader(std::string_view macro, std::string_view name) {
    const std::string_view file = name.substr(name.find_last_of("\\/") + 1);
    if (file.find('.') == std::string_view::npos) return false;
    const std::string key = letters(file);
    std::string guard = letters(macro);
    for (std::string_view suffix : {"INCLUDED", "GUARD"})
        if (endsWith(guard, suffix) && guard.size() > suffix.size()) guard.resize(guard.size() - suffix.size());
    return !key.empty() && endsWith(guard, key);
}

}  // namespace vimbo::analysis
