// The include lines a run changes, or an audit finds wrong, for people
// ("FILE:LINE: ...") and for tools: JSON, one object per finding, and SARIF
// 2.1.0, which code-scanning services show on a pull request.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_observer.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::batch {

// How findings are shown: text for people, or a document for tools.
enum class OutputFormat { text, json, sarif };

struct FileFindings {
    std::string path;
    const std::vector<vimbo::engine::Finding>* findings;
};

// "#include <x.h> would be wrapped in G" (`dryRun`), "... was wrapped in
// G" (a rewrite); an audit's finding as the audit words it. People read it
// after "FILE:LINE: ".
std::string findingSentence(const vimbo::engine::Finding& finding, FindingKind kind, bool dryRun);

std::string findingsJson(const std::vector<FileFindings>& files, FindingKind kind, bool dryRun);
std::string findingsSarif(const std::vector<FileFindings>& files, FindingKind kind, bool dryRun);

}  // namespace vimbo::batch
