// One translation unit of a build, preprocessed as --verify runs it: the
// text it compiles, compared by a hash of its lines.
#pragma once

#include "vimbo/engine/batch_observer.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vimbo::batch {

struct Unit {
    std::string file;                  // as the database names it, for messages
    std::string directory;
    std::vector<std::string> command;       // preprocess-only, __LINE__ as it expands
    std::vector<std::string> fixedCommand;  // the same with __LINE__ fixed
    std::string problem;                    // why it is not checked, or ""
    bool failsBefore = false;
    std::uint64_t before = 0;
    // Which of the run's files it reads, as its compiler told while it
    // preprocessed it before the rewrite (when it could be told).
    bool readsKnown = false;
    std::vector<std::uint32_t> reads;
    // With __LINE__ fixed, when known: a unit whose text differs only there
    // moved its lines, nothing else.
    bool beforeFixedKnown = false, afterFixedKnown = false;
    std::uint64_t beforeFixed = 0, afterFixed = 0;
    bool differs = false;     // its text is not the same after the rewrite
    bool failsAfter = false;  // it no longer preprocesses
    std::string failure;      // the first line the preprocessor printed on failing
    // Its text is compared after the rewrite.
    bool comparable() const { return problem.empty() && !failsBefore; }
    // It counts as verified, or not: what it reads is known.
    bool verifiable() const { return comparable() && readsKnown; }
    // It differs only where __LINE__ expands.
    bool linesMoved() const { return differs && !failsAfter && beforeFixedKnown && afterFixedKnown && beforeFixed == afterFixed; }
};

// Runs a preprocess-only command in `directory`, its output into the new
// file `output`; false when the preprocessor fails, with the first line it
// printed (or why it could not start) in `firstError`, and all it printed
// on standard error in `errors`, when given.
bool preprocess(const std::vector<std::string>& command, const std::string& directory,
                const std::filesystem::path& output, std::string& firstError, std::string* errors = nullptr);

// The signal that stopped a preprocessor since the last reset, or 0: Ctrl-C
// reaches the commands too, so it shows here.
int preprocessingInterrupted();
void resetPreprocessingInterrupted();

// A hash of the text an output holds: blank lines and line markers do not
// count (a wrap moves lines by design).
std::uint64_t hashOf(const std::filesystem::path& output);

// Where two outputs part: the first line of each that differs ("(end)" for one that ended).
std::pair<std::string, std::string> firstDifference(const std::filesystem::path& a, const std::filesystem::path& b);

// Calls `work(i)` for i below `count`, `jobs` at a time (0: one per
// processor), telling `progress` (when given) how far it is; stops early
// after a signal.
void forEachUnit(std::size_t count, unsigned jobs, vimbo::engine::BatchObserver* progress, const std::function<void(std::size_t)>& work);

}  // namespace vimbo::batch
