// The include lines a run changes, or an audit finds wrong, for people
// ("FILE:LINE: ...") and for tools: JSON, one object per finding, and SARIF
// 2.1.0, which code-scanning services show on a pull request.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "batch/verdict.h"
#include "vimbo/engine/batch.h"
#include "vimbo/engine/batch_observer.h"
#include "vimbo/engine/file_rewriter.h"
#include "vimbo/engine/finding_sentence.h"

namespace vimbo::batch {


struct FileFindings {
    std::string path;
    const std::vector<vimbo::engine::Finding>* findings;
    const std::vector<vimbo::engine::UnresolvedInclude>* unresolved = nullptr;
};

// The sentence of an include line whose header was not found.
std::string unresolvedSentence(const vimbo::engine::UnresolvedInclude& include);

// The sentence of a finding (vimbo/engine/finding_sentence.h).
using vimbo::engine::findingSentence;

std::string findingsJson(const std::vector<FileFindings>& files, vimbo::engine::FindingKind kind, bool dryRun);
// What a SARIF log says of the run besides its results: each file that
// failed (its path and why), and errors of the run itself (a usage error).
struct RunTrouble {
    std::vector<std::pair<std::string, std::string>> failedFiles;
    std::vector<std::string> errors;
};

// URIs are relative to the project's top (%SRCROOT%, given in
// originalUriBaseIds); the invocation is successful only without trouble.
std::string findingsSarif(const std::vector<FileFindings>& files, vimbo::engine::FindingKind kind, bool dryRun,
                          const RunTrouble& trouble = {});

// A document with what --verify found added: JSON becomes an object
// {"findings": [...], "verification": {...}}; SARIF gains the run's
// invocation, successful only where the rewrite stands, with the counts.
std::string withVerdict(const std::string& document, vimbo::engine::OutputFormat format, const Verdict& verdict);

}  // namespace vimbo::batch
