#include "project/path_glob.h"

#include <vector>

namespace vimbo::project {
namespace {

// A pattern read as a row of steps, matched by following every step the
// text so far may have reached at once: time in the pattern's length times
// the path's, whatever the stars (backtracking took hours on a dozen).
class Glob {
public:
    explicit Glob(const std::string& pattern) {
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == '*') {
                // Two stars or more are one "**".
                std::size_t end = i;
                while (end < pattern.size() && pattern[end] == '*') ++end;
                steps_.push_back({end - i > 1 ? Kind::anyRun : Kind::nameRun, 0});
                i = end - 1;
            } else {
                steps_.push_back({pattern[i] == '?' ? Kind::oneChar : Kind::literal, pattern[i]});
            }
        }
        now_.resize(steps_.size() + 1);
        next_.resize(steps_.size() + 1);
    }

    // Back to the text's start: only the first step reached.
    void start() {
        std::fill(now_.begin(), now_.end(), false);
        reach(now_, 0);
    }
    // One more character of the text; false once no step is reached (no
    // longer text can match either).
    bool feed(char c) {
        std::fill(next_.begin(), next_.end(), false);
        bool any = false;
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            if (!now_[i]) continue;
            const Step& step = steps_[i];
            switch (step.kind) {
            case Kind::literal:
                if (c == step.c) reach(next_, i + 1), any = true;
                break;
            case Kind::oneChar:
                if (c != '/') reach(next_, i + 1), any = true;
                break;
            case Kind::nameRun:
                if (c != '/') reach(next_, i), any = true;
                break;
            case Kind::anyRun:
                reach(next_, i, false), any = true;
                break;
            }
        }
        now_.swap(next_);
        return any;
    }
    // Whether the text fed since start() matches the whole pattern.
    bool matched() const { return now_.back(); }

private:
    enum class Kind { literal, oneChar, nameRun, anyRun };
    struct Step {
        Kind kind;
        char c;
    };

    // Marks step `i` and every step it leads to without a character: past a
    // star (which may match nothing), and, as it is entered (`entered`: not
    // when it has taken characters), past "**/", which may stand for no
    // directory at all.
    void reach(std::vector<bool>& set, std::size_t i, bool entered = true) const {
        // The skip even when the step was reached already, by taking characters.
        if (entered && i + 1 < steps_.size() && steps_[i].kind == Kind::anyRun && steps_[i + 1].kind == Kind::literal &&
            steps_[i + 1].c == '/')
            reach(set, i + 2);
        if (set[i]) return;
        set[i] = true;
        if (i < steps_.size() && (steps_[i].kind == Kind::nameRun || steps_[i].kind == Kind::anyRun))
            reach(set, i + 1);
    }

    std::vector<Step> steps_;
    std::vector<bool> now_, next_;
};

}  // namespace

namespace {
// `byName`: matched against every component rather than from the start;
// `directoriesOnly`: never against the path as a whole (the file itself).
bool matchesGlob(const std::string& pattern, const std::string& path, bool byName, bool directoriesOnly) {
    if (pattern.empty()) return false;
    // Pattern and path end at a NUL byte, as the C strings they once were.
    Glob glob(pattern.c_str());
    glob.start();
    bool alive = true;
    for (const char c : path) {
        if (c == '\0') {
            if (alive && glob.matched() && !directoriesOnly) return true;
            if (!byName) return false;
            alive = false;
            continue;
        }
        if (c == '/') {
            // A name ends here, and so does a leading part of the path.
            if (alive && glob.matched()) return true;
            if (byName) {
                glob.start();
                alive = true;
                continue;
            }
        }
        // A text no step reached can't match, until the next name begins.
        if (alive) alive = glob.feed(c);
        else if (!byName) return false;
    }
    return !directoriesOnly && alive && glob.matched();
}
}  // namespace

bool matchesExclusion(const std::string& pattern, const std::string& path) {
    return matchesGlob(pattern, path, pattern.find('/') == std::string::npos, false);
}

bool excludedByPatterns(const std::vector<std::string>& patterns, const std::string& path, std::vector<bool>* matched) {
    bool excluded = false;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        std::string pattern = patterns[i];
        if (pattern.empty() || pattern[0] == '#') continue;
        const bool negated = pattern[0] == '!';
        if (negated || (pattern[0] == '\\' && pattern.size() > 1 && (pattern[1] == '!' || pattern[1] == '#')))
            pattern.erase(0, 1);
        bool directoriesOnly = false;
        while (!pattern.empty() && pattern.back() == '/') {
            pattern.pop_back();
            directoriesOnly = true;
        }
        // A "/" anywhere but at the end ties the pattern to the list's directory.
        const bool anchored = pattern.find('/') != std::string::npos;
        while (!pattern.empty() && pattern.front() == '/') pattern.erase(0, 1);
        if (!matchesGlob(pattern, path, !anchored, directoriesOnly)) continue;
        excluded = !negated;
        if (matched) (*matched)[i] = true;
    }
    return excluded;
}

}  // namespace vimbo::project
