// One translation unit of a build, preprocessed as --verify runs it: the
// text it compiles, compared by a hash of its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vimbo::cli {

struct Unit {
    std::string file;                  // as the database names it, for messages
    std::string directory;
    std::vector<std::string> command;  // preprocess-only
    std::string problem;               // why it is not checked, or ""
    bool failsBefore = false;
    std::uint64_t before = 0;
    bool differs = false;
    std::string failure;  // the first line the preprocessor printed on failing
};

// Runs the unit's command in its directory, its output into `output` and
// its messages into `errors`; false when the preprocessor fails.
bool preprocess(const Unit& unit, const std::filesystem::path& output, const std::filesystem::path& errors);

// Whether a preprocessor was stopped by a signal since the last reset: Ctrl-C
// reaches the commands (the caller of system() ignores it), so it shows here.
bool preprocessingInterrupted();
void resetPreprocessingInterrupted();

// A hash of the text an output holds: blank lines and line markers do not
// count (a wrap moves lines by design).
std::uint64_t hashOf(const std::filesystem::path& output);

// Where two outputs part: the first line of each that differs ("(end)" for one that ended).
std::pair<std::string, std::string> firstDifference(const std::filesystem::path& a, const std::filesystem::path& b);

std::string firstLineOf(const std::filesystem::path& file);

// Calls `work(i)` for i below `count`, `jobs` at a time (0: one per
// processor), showing progress on a terminal; stops early after a signal.
void forEachUnit(std::size_t count, unsigned jobs, bool showProgress, const std::function<void(std::size_t)>& work);

}  // namespace vimbo::cli
