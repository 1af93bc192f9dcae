// Rewriting, checking or previewing a list of files, with the counts and the
// exit status a script can rely on. Check and diff run the very rewrite that
// tree mode runs, over a layer that keeps every write in memory.
#pragma once

#include <string>
#include <vector>

#include "compile_database.h"
#include "source_tree.h"

namespace vimbo::cli {

enum class BatchMode { rewrite, check, diff };

struct BatchSettings {
    BatchMode mode = BatchMode::rewrite;
    bool backup = false;
    std::string includePath;
    // Tree mode: each file is handled from its own directory, so that its
    // quoted includes are found beside it as a compiler finds them; and the
    // tree is passed over again until a pass changes nothing, so that a
    // second run (or a check) afterwards finds nothing left to do.
    bool treeMode = false;
    std::vector<std::string> precompiledHeaders;  // besides stdafx.h and pch.h
    // With a build's compilation database, each file is searched with the
    // include directories that build gives it, before includePath.
    const CompileDatabase* database = nullptr;
};

// Returns the exit status: rewrite 0 or 1 (failures); check and diff 0 (none
// would change), 1 (some would), 2 (an error).
int runBatch(const BatchSettings& settings, const std::vector<std::string>& files,
             const std::vector<SkippedFile>& skipped, int walkErrors);

// Relative entries of a search path made absolute against the current
// directory, so that they still hold after the directory changes.
std::string absoluteSearchPath(const std::string& searchPath);

}  // namespace vimbo::cli
