// Which macro guards a header: its own "#ifndef" (or "#if !defined") test, or
// the guard of a header that it includes before that test.
#include <algorithm>

#include "analysis/guard_search.h"
#include "analysis/keywords.h"
#include "analysis/line_words.h"
#include "analysis/path_parts.h"
#include "interface/vimbo.h"
#include "platform/text_reader.h"

using vimbo::analysis::GuardSearch;
using vimbo::analysis::LineWords;

namespace {
// Header lines are examined in pieces of at most this many characters.
constexpr std::size_t kLinePiece = 1023;
}  // namespace

std::string Vimbo::findGuardMacro(const std::string& path) {
    try {
        GuardSearch search;
        return findGuardMacro(path, search);
    } catch (...) {
        return "";
    }
}

std::string Vimbo::findGuardMacro(const std::string& path, GuardSearch& search) {
    if (path.empty()) return "";
    // An include cycle ends here: the header is already being read above.
    if (std::find(search.chain.begin(), search.chain.end(), path) != search.chain.end()) return "";
    if (search.chain.size() >= GuardSearch::kMaxDepth) return "";
    auto known = search.known.find(path);
    if (known != search.known.end()) return known->second;

    const std::string baseName = vimbo::analysis::upperCaseAscii(vimbo::analysis::splitPath(path).baseName);
    vimbo::platform::TextReader header(path);
    if (!header.isOpen()) return "";

    search.chain.push_back(path);

    std::string guard;
    std::string line;
    while (guard.empty() && header.good()) {
        if (header.readLine(line, kLinePiece) != vimbo::platform::TextReader::Status::line) break;
        LineWords words(line);
        while (guard.empty() && !words.exhausted()) {
            std::string_view word = words.readWord();
            std::string candidate;
            if (vimbo::analysis::readGuardTest(words, word, candidate) &&
                guardMatchesFile(baseName, candidate)) {
                guard = candidate;
            }
            if (guard.empty() && words.lastRead() == vimbo::analysis::kIncludeKeyword) {
                std::string target(words.readTo(' '));
                std::string nested = locateIncludeFile(vimbo::analysis::kIncludeKeyword + " " + target);
                guard = findGuardMacro(nested, search);
            }
        }
    }
    header.close();
    search.chain.pop_back();

    search.known.emplace(path, guard);
    return guard;
}
