// Rewriting, checking, previewing or auditing a list of files, with the
// counts and the exit status a script can rely on. Check and diff run the
// very rewrite that tree mode runs, over a layer that keeps every write in
// memory.
#pragma once

#include <functional>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "batch/findings_report.h"
#include "batch/run_lookups.h"
#include "project/source_tree.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::batch {


struct BatchSettings {
    vimbo::engine::BatchMode mode = vimbo::engine::BatchMode::rewrite;
    // How each file is rewritten: strip, backup, line numbers, precompiled headers.
    vimbo::engine::RewriteSettings rewrite;
    std::string includePath;
    // Whether the observer is told of progress (tree mode shows it).
    bool showProgress = false;
    // Files rewritten at once (0: one per processor). Each file is visited
    // once: its text settles in memory before it is committed, so a second
    // run (or a check) afterwards finds nothing left to do.
    unsigned jobs = 0;
    // Each file's lookups, asked of the compilers (with a build's database,
    // those of its entries); without, includePath alone, by a compiler's rules.
    const RunLookups* lookups = nullptr;
    // The build's database, whose command lines define macros.
    const vimbo::project::CompileDatabase* database = nullptr;
    // Where a project's configuration sets them per directory: the search
    // path (instead of includePath) and the precompiled headers of a file.
    std::function<std::string(const std::string& path)> includePathFor;
    std::function<std::vector<std::string>(const std::string& path)> precompiledHeadersFor;
    // How findings are shown: text (through the observer), JSON or SARIF.
    vimbo::engine::OutputFormat format = vimbo::engine::OutputFormat::text;
    // JSON or SARIF go here rather than to standard output (a verified
    // rewrite reports only once it stands).
    std::string* reportInto = nullptr;
    // Files with several hard links, which the walk left in, are skipped
    // once the run has read them (see WalkOptions::linksCountedLater).
    bool skipLinked = false;
    // Files larger than this are skipped; a header larger than it is as one
    // that can't be read.
    std::uint64_t maxFileSize = vimbo::engine::kDefaultMaxFileSize;
    // The file-system operations the run goes through (the system's when null).
    const vimbo::platform::FileSystemOps* fileSystem = nullptr;
    // Files (device and file number) that --verify gave a hard link aside.
    const std::set<std::pair<std::uint64_t, std::uint64_t>>* linkedAside = nullptr;
    // A dry run puts the new text of each file it would change here.
    std::vector<std::pair<std::string, std::string>>* dryRunTexts = nullptr;
    // The directories the walk found the files in, as it saw them.
    const std::vector<vimbo::project::WalkedDirectory>* directories = nullptr;
    // Whether a header the search did not find is the project's own (none is
    // without it); with `strict`, an include line of one is an error.
    std::function<bool(const std::string& header)> inProject;
    bool strict = false;
    // With rewrite.noteVersions: the version each file rewritten was left as.
    std::map<std::string, vimbo::engine::FileVersion>* written = nullptr;
};

// The JSON or SARIF document of a run that found (or changed) nothing.
std::string emptyReport(const BatchSettings& settings);

// Returns the exit status: rewrite 0 or 1 (failures); check and diff 0 (none
// would change), 1 (some would), 2 (an error); audit 0 (every external guard
// is right), 1 (some are wrong), 2 (an error).
// What the run tells as it goes, `observer` is told.
int runBatch(const BatchSettings& settings, const std::vector<std::string>& files,
             const std::vector<vimbo::project::SkippedFile>& skipped, int walkErrors, vimbo::engine::BatchObserver& observer);

}  // namespace vimbo::batch
