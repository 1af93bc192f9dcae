#include "path_glob.h"

namespace vimbo::cli {
namespace {

bool matchHere(const char* pattern, const char* text) {
    for (; *pattern; ++pattern, ++text) {
        if (pattern[0] == '*' && pattern[1] == '*') {
            while (*pattern == '*') ++pattern;
            // "**/" may also stand for no directory at all.
            if (*pattern == '/' && matchHere(pattern + 1, text)) return true;
            for (const char* rest = text;; ++rest) {
                if (matchHere(pattern, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (*pattern == '*') {
            for (const char* rest = text;; ++rest) {
                if (matchHere(pattern + 1, rest)) return true;
                if (!*rest || *rest == '/') return false;
            }
        }
        if (!*text || (*pattern == '?' ? *text == '/' : *pattern != *text)) return false;
    }
    return !*text;
}

}  // namespace

bool matchesExclusion(const std::string& pattern, const std::string& path) {
    if (pattern.empty()) return false;
    if (pattern.find('/') == std::string::npos) {
        std::string::size_type start = 0;
        for (;;) {
            const std::string::size_type end = path.find('/', start);
            if (matchHere(pattern.c_str(), path.substr(start, end - start).c_str())) return true;
            if (end == std::string::npos) return false;
            start = end + 1;
        }
    }
    if (matchHere(pattern.c_str(), path.c_str())) return true;
    for (std::string::size_type slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (matchHere(pattern.c_str(), path.substr(0, slash).c_str())) return true;
    return false;
}

}  // namespace vimbo::cli
