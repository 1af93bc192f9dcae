// Arbitrary bytes as a whole source file, rewritten in place with a backup
// while a few headers are present. What must always hold:
//  - the result is 0 or 1, and no scratch file is left behind;
//  - a file with nothing guarded is untouched;
//  - a rewritten file, with the inserted "#ifndef"/"#endif" lines taken out,
//    is the input in text mode (carriage returns dropped, ended at a Ctrl-Z,
//    CR LF line ends), and so is its backup;
//  - a file that text mode would lose text of is left as it is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "interface/vimbo_exports.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> textModeLines(const std::string& bytes, bool& lossy) {
    std::vector<std::string> lines;
    std::string line;
    bool any = false, pendingCr = false;
    lossy = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == 26) {
            lossy = lossy || i + 1 < bytes.size();
            break;
        }
        if (c == '\r') {
            pendingCr = true;
            continue;
        }
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
            any = pendingCr = false;
            continue;
        }
        lossy = lossy || pendingCr;
        pendingCr = false;
        line += c;
        any = true;
    }
    if (any) lines.push_back(line);
    return lines;
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// Lines of a file written in text mode; every one must end in CR LF.
std::vector<std::string> writtenLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        const std::string::size_type end = bytes.find('\n', start);
        check(end != std::string::npos && end > start && bytes[end - 1] == '\r');
        lines.push_back(bytes.substr(start, end - 1 - start));
        start = end + 1;
    }
    return lines;
}

// Whether `original` is what remains of `rewritten` once some lines are
// taken out together with the "#ifndef ..." line before and "#endif" after.
bool onlyGuardsAdded(const std::vector<std::string>& rewritten, const std::vector<std::string>& original) {
    std::vector<std::vector<char>> seen(rewritten.size() + 1, std::vector<char>(original.size() + 1, 0));
    std::vector<std::pair<std::size_t, std::size_t>> todo = {{0, 0}};
    while (!todo.empty()) {
        auto [i, j] = todo.back();
        todo.pop_back();
        if (i == rewritten.size() && j == original.size()) return true;
        if (i >= rewritten.size() || j >= original.size() || seen[i][j]) continue;
        seen[i][j] = 1;
        if (rewritten[i] == original[j]) todo.push_back({i + 1, j + 1});
        if (rewritten[i].rfind("#ifndef ", 0) == 0 && i + 2 < rewritten.size() && rewritten[i + 1] == original[j] &&
            rewritten[i + 2] == "#endif")
            todo.push_back({i + 3, j + 1});
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vimbo::fuzz::enterWorkspace("vimbo-file-fuzz");
    vimbo::fuzz::writeBytes("inc/a.h", "#ifndef A_H\n#define A_H\n#endif\n");
    vimbo::fuzz::writeBytes("inc/b.h", "/* b */\n#if !defined( B_H )\n#define B_H\n#endif\n");
    vimbo::fuzz::writeBytes("inc/w.h", "#pragma once\n#include <a.h>\n");
    vimbo::fuzz::writeBytes("inc/c", "#ifndef C_H\t/* tab */\n");
    vimbo::fuzz::writeBytes("q.h", "#ifndef Q_H\r\n#define Q_H\r\n#endif\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    vimbo::fuzz::writeBytes("src.c", input);
    std::remove("src.Bak");

    const int result = Vimbo_File("inc", "src.c", 1);
    check(result == 0 || result == 1);
    check(!vimbo::fuzz::fileExists("$vb$tmp$.$$$"));

    const std::string after = vimbo::fuzz::readBytes("src.c");
    bool lossy = false;
    const std::vector<std::string> original = textModeLines(input, lossy);
    if (result == 0 || lossy) {
        check(after == input);
        check(!vimbo::fuzz::fileExists("src.Bak"));
        return 0;
    }
    check(onlyGuardsAdded(writtenLines(after), original));
    check(vimbo::fuzz::readBytes("src.Bak") == crlf(original));
    return 0;
}
