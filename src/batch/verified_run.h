// --verify: every translation unit of the build preprocessed before and
// after the rewrite, with its own flags; the rewrite stands only when each
// gives the same text and some unit reads a rewritten file (the compiler
// tells which it reads), else every rewritten file is put back as it was.
#pragma once

#include <functional>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "batch/verdict.h"
#include "project/compile_database.h"
#include "vimbo/engine/file_rewriter.h"
#include "project/compiler_trust.h"

namespace vimbo::batch {

struct VerifySettings {
    const vimbo::project::CompileDatabase* database = nullptr;
    unsigned jobs = 0;         // units preprocessed at once (0: one per processor)
    bool dryRun = false;       // the rewrite stays in memory: verify through a copy
    bool showProgress = false;
    // Told of progress, of units that can't be verified, and of the verdict.
    vimbo::engine::BatchObserver* observer = nullptr;
    // The verdict, as data, where the caller wants it.
    Verdict* verdict = nullptr;
    std::vector<std::string> files;  // what the rewrite may change
    bool backups = false;            // it keeps ".Bak" copies: a put-back puts those back too
    // Units whose text differs only where __LINE__ expands count as the same.
    bool allowLineShift = false;
    // Units that cannot be preprocessed before the rewrite do not stop it.
    bool allowUnverified = false;
    // Standard output is kept for a report tools read.
    bool summaryToStandardError = false;
    // Told when a rewrite is put back (what it reported did not happen).
    std::function<void()> onPutBack;
    // Which units' programs may run.
    vimbo::project::CompilerTrust trust;
    // The rewrite step tells here the version of each file it put in place:
    // only those go back, and only while they still are that version.
    std::map<std::string, vimbo::engine::FileVersion>* written = nullptr;
    // Filled before the rewrite: the files given a hard link to keep them aside.
    std::set<std::pair<std::uint64_t, std::uint64_t>>* linkedAside = nullptr;
};

// The new texts of a dry run, by path.
using DryRunTexts = std::vector<std::pair<std::string, std::string>>;

// The rewrite being verified. It returns its exit status; a dry run fills
// the texts it would write.
using RewriteStep = std::function<int(DryRunTexts* texts)>;

// Runs the step between the two preprocessing passes and returns the exit
// status: the step's when every unit is unchanged, or when it rewrote
// nothing; 1 (2 for a dry run) when one differs, when one could not be
// verified or none could, or when none reads a rewritten file, after
// putting every rewritten file back; 2 when the check could not be made;
// 128 + the signal when one came.
int runVerified(const VerifySettings& settings, const RewriteStep& rewrite);

}  // namespace vimbo::batch
