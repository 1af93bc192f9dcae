// Exclude patterns: the cases where star handling goes wrong, every short
// pattern against every short path as the backtracking matcher it replaced
// read them, and patterns that made that one backtrack for hours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/path_glob.h"

namespace {

using vimbo::project::matchesExclusion;

// The matcher these patterns always had, by backtracking: the meaning the
// new one must keep, on texts short enough for it.
bool oldMatchHere(const char* pattern, const char* text) {
    for (; *pattern; ++pattern, ++text) {
        if (pattern[0] == '*' && pattern[1] == '*') {
            while (*pattern == '*') ++pattern;
            if (*pattern == '/' && oldMatchHere(pattern + 1, text)) return true;
            for (const char* rest = text;; ++rest) {
                if (oldMatchHere(pattern, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (*pattern == '*') {
            for (const char* rest = text;; ++rest) {
                if (oldMatchHere(pattern + 1, rest)) return true;
                if (!*rest || *rest == '/') return false;
            }
        }
        if (!*text || (*pattern == '?' ? *text == '/' : *pattern != *text)) return false;
    }
    return !*text;
}

bool oldMatches(const std::string& pattern, const std::string& path) {
    if (pattern.empty()) return false;
    if (pattern.find('/') == std::string::npos) {
        std::string::size_type start = 0;
        for (;;) {
            const std::string::size_type end = path.find('/', start);
            if (oldMatchHere(pattern.c_str(), path.substr(start, end - start).c_str())) return true;
            if (end == std::string::npos) return false;
            start = end + 1;
        }
    }
    if (oldMatchHere(pattern.c_str(), path.c_str())) return true;
    for (std::string::size_type slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (oldMatchHere(pattern.c_str(), path.substr(0, slash).c_str())) return true;
    return false;
}

// Every string of up to `length` characters of `alphabet`.
std::vector<std::string> allStrings(const std::string& alphabet, std::size_t length) {
    std::vector<std::string> all{""};
    for (std::size_t from = 0, size = 1; size <= length; ++size) {
        const std::size_t to = all.size();
        for (std::size_t i = from; i < to; ++i)
            for (char c : alphabet) all.push_back(all[i] + c);
        from = to;
    }
    return all;
}

TEST(Exclusions, StarsAndSlashesMeanWhatTheyMeant) {
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"*", "a/b", true},                 // a name, any one
        {"*", "", true},                    // the empty name
        {"a*", "b/ab/c", true},             {"a*b", "a/b", false},  // "*" stays within a name
        {"a/*", "a/b/c", true},             // a leading part: "a/b"
        {"a/*", "a", false},                {"a/*", "a/", true},
        {"*/*", "a", false},                {"*/*", "a/b", true},
        {"**", "a/b/c", true},              {"**", "", true},
        {"a/**", "a", false},               {"a/**", "a/", true},
        {"a/**/b", "a/b", true},            // "**/" may stand for no directory
        {"a/**/b", "a/x/y/b", true},        {"a/**/b", "a/xb", false},
        {"a**b", "a/x/b", false},           // without "/", a name: "**" as "*"
        {"a**b", "ab", true},               {"a/**b", "a/x/yb", true},
        {"***/b", "b", true},               // three stars are two
        {"**/", "a/", true},                {"**/*.c", "x.c", true},
        {"?", "/", false},                  {"??", "a/b", false},
        {"a/?", "a/b/c", true},             {"/a", "/a/b", true},
        {"/a", "a", false},                 {"a//b", "a//b", true},
        {"*a*a*a*b", "aaaa", false},        {"*a*a*a*b", "xaxaxab", true},
        {"src/*/gen", "src/x/gen/y.c", true}, {"src/*/gen", "src/x/y/gen", false},
        {"**/gen/**", "a/b/gen/c/d", true}, {"**/gen/**", "gen/c", true},
        {"**/gen/**", "a/gen", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesExclusion(c.pattern, c.path), c.matches) << c.pattern << " ~ " << c.path;
        EXPECT_EQ(oldMatches(c.pattern, c.path), c.matches) << "as it always was: " << c.pattern << " ~ " << c.path;
    }
}

TEST(Exclusions, EveryShortPatternMatchesAsBefore) {
    const std::vector<std::string> patterns = allStrings("a/*?", 5), paths = allStrings("ab/", 5);
    std::size_t differ = 0;
    for (const std::string& pattern : patterns)
        for (const std::string& path : paths)
            if (matchesExclusion(pattern, path) != oldMatches(pattern, path) && ++differ < 10)
                ADD_FAILURE() << "'" << pattern << "' ~ '" << path << "': " << matchesExclusion(pattern, path);
    EXPECT_EQ(differ, 0u);
    // A NUL byte ends pattern and path, as it did.
    for (const auto& [pattern, path] : std::vector<std::pair<std::string, std::string>>{
             {std::string("a\0b", 3), "a"}, {"a", std::string("a\0b/c", 5)}, {std::string("\0/", 2), ""},
             {"a/b", std::string("a/b\0/c", 6)}, {"b", std::string("a\0/b", 4)}})
        EXPECT_EQ(matchesExclusion(pattern, path), oldMatches(pattern, path)) << pattern.size() << " " << path.size();
}

// Backtracking took 83 s on ten stars; these finish at once (or the suite hangs).
TEST(Exclusions, ManyStarsAgainstALongPathFinishAtOnce) {
    const std::string deep = "a/" + std::string(300, 'a') + "/" + std::string(2000, 'a');
    const struct {
        std::string pattern, matching;
    } cases[] = {
        {"a" + std::string(12, '*') + "b", deep + "b"},
        {"*a*a*a*a*a*a*a*a*a*a*a*a*b", deep + "b"},
        {"**a**a**a**a**a**a**a**a**a**a**a**b", deep + "b"},
        {"a/*a*a*a*a*a*a*a*a*a*a*a*a*b", "a/" + std::string(300, 'a') + "b/c"},
        {"a/**/**/**/**/**/**/**/**/**/**/**/b", deep + "/b"},
        {"a/**a**a**a**a**a**a**a**a**a**a**a**b", deep + "b"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(matchesExclusion(c.pattern, deep)) << c.pattern;
        EXPECT_TRUE(matchesExclusion(c.pattern, c.matching)) << c.pattern;
    }
}

}  // namespace
