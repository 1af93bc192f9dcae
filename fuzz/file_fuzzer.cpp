// Arbitrary bytes as a whole source file, rewritten in place with a backup
// while a few headers are present. What must always hold:
//  - the result is 0 or 1, and no scratch file is left behind;
//  - a file with nothing guarded is untouched;
//  - a rewritten file, with the inserted "#ifndef"/"#endif" lines taken out,
//    is the input byte for byte, and so is its backup; each inserted line
//    ends as the line it wraps. On Windows, text mode: the input as text
//    mode reads it (carriage returns dropped, ended at a Ctrl-Z, CR LF line
//    ends), and a file that text mode would lose text of is left as it is;
//  - where bytes are kept, nothing after a lone carriage return or a Ctrl-Z
//    is wrapped: a compiler may end a line or the file there;
//  - every inserted "#ifndef G" stands before a line shaped like an include
//    directive, neither continuing a line nor continued, whose header is
//    controlled by G; which macro controls each header offered here is
//    written down by hand below, not computed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "text_invariants.h"
#include "vimbo/vimbo.h"

namespace {

// The headers the inputs may name, and the macro that controls the whole of
// each ("" where none does: skipping them could change the program).
struct Header {
    const char* include;  // as a directive names it
    const char* path;
    const char* text;
    const char* controlledBy;
};
const Header kHeaders[] = {
    {"<a.h>", "inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n", "A_H"},
    {"<b.h>", "inc/b.h", "/* b */\n#if !defined( B_H )\n#define B_H\n#endif\n", "B_H"},
    {"<w.h>", "inc/w.h", "#pragma once\n#include <a.h>\n", "A_H"},  // forwards to a.h
    {"<c>", "inc/c", "#ifndef C_H\t/* tab */\n", ""},                  // never closed
    {"<x.h>", "inc/x.h", "#ifndef X_H\n#define X_H\n#endif\nint again;\n", ""},
    {"<d.h>", "inc/d.h", "#include <a.h>\n#ifndef D_H\n#define D_H\n#endif\n", ""},
    {"\"q.h\"", "q.h", "#ifndef Q_H\r\n#define Q_H\r\n#endif\r\n", "Q_H"},
};

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool endsInBackslash(const std::string* line) {
    const std::string text = line ? trimmed(*line) : "";
    return !text.empty() && text.back() == '\\';
}

bool justifiedWrap(const std::string* previous, const std::string& guardLine, const std::string& line,
                   const std::string*) {
    if (endsInBackslash(previous) || endsInBackslash(&line)) return false;
    // "#include" first, after blanks only (vertical tabs and form feeds are
    // blanks to the preprocessor too); then the header it names.
    std::size_t at = line.find_first_not_of(" \t\v\f");
    if (at == std::string::npos || line.compare(at, 8, "#include") != 0) return false;
    at = line.find_first_not_of(" \t\v\f", at + 8);
    if (at == std::string::npos) return false;
    const std::string guard = trimmed(guardLine.substr(8));
    // The header name, closed; an angle name without a dot that names no
    // header means the one with ".h" appended.
    const char close = line[at] == '<' ? '>' : line[at] == '"' ? '"' : '\0';
    const std::size_t end = close ? line.find(close, at + 1) : std::string::npos;
    if (end == std::string::npos) return false;
    const std::string name = line.substr(at, end + 1 - at);
    const Header* found = nullptr;
    for (const Header& header : kHeaders)
        if (name == header.include) found = &header;
    if (!found && close == '>' && name.find('.') == std::string::npos) {
        const std::string withH = name.substr(0, name.size() - 1) + ".h>";
        for (const Header& header : kHeaders)
            if (withH == header.include) found = &header;
    }
    return found && !guard.empty() && guard == found->controlledBy;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vimbo::fuzz::enterWorkspace("vimbo-file-fuzz");
    for (const Header& header : kHeaders) vimbo::fuzz::writeBytes(header.path, header.text);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    vimbo::fuzz::writeBytes("src.c", input);
    std::remove("src.Bak");

    const int result = Vimbo_File("inc", "src.c", 1);
    vimbo::fuzz::check(result == 0 || result == 1);
    vimbo::fuzz::check(!vimbo::fuzz::fileExists("$vb$tmp$.$$$"));

    const std::string after = vimbo::fuzz::readBytes("src.c");
    using vimbo::invariants::Line;
#ifdef _WIN32
    bool lossy = false;
    const std::vector<Line> original = vimbo::invariants::textModeLines(input, lossy);
    const std::vector<Line> rewritten = vimbo::invariants::keptLines(after);
    const std::string backup = vimbo::invariants::joined(original);
#else
    const bool lossy = false;
    const std::vector<Line> original = vimbo::invariants::keptLines(input);
    const std::vector<Line> rewritten = vimbo::invariants::keptLines(after);
    const std::string& backup = input;
#endif
    if (result == 0 || lossy) {
        vimbo::fuzz::check(after == input);
        vimbo::fuzz::check(!vimbo::fuzz::fileExists("src.Bak"));
        return 0;
    }
    vimbo::fuzz::check(vimbo::invariants::onlyGuardsAdded(rewritten, original, justifiedWrap));
    vimbo::fuzz::check(vimbo::fuzz::readBytes("src.Bak") == backup);
#ifndef _WIN32
    // The rest of the file after the first line that breaks lines another
    // way is the original's rest, byte for byte.
    std::size_t first = 0;
    while (first < original.size() && original[first].text.find_first_of("\r\x1a") == std::string::npos) ++first;
    if (first < original.size()) {
        const std::vector<Line> tail(original.begin() + static_cast<std::ptrdiff_t>(first), original.end());
        const std::string rest = vimbo::invariants::joined(tail);
        vimbo::fuzz::check(after.size() >= rest.size() && after.compare(after.size() - rest.size(), rest.size(), rest) == 0);
    }
#endif
    return 0;
}
