// The include lines a run changes, or an audit finds wrong, for people
// ("FILE:LINE: ...") and for tools: JSON, one object per finding, and SARIF
// 2.1.0, which code-scanning services show on a pull request.
#pragma once

#include <string>
#include <vector>

#include "colour.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::cli {

enum class FindingKind { wrap, strip, audit };

struct FileFindings {
    std::string path;
    const std::vector<vimbo::engine::Finding>* findings;
};

// "FILE:LINE: #include <x.h> would be wrapped in G" (`dryRun`), "... was
// wrapped in G" (a rewrite); an audit's finding as the audit words it.
std::string findingText(const std::string& path, const vimbo::engine::Finding& finding, FindingKind kind, bool dryRun,
                        const Painter& painter);

std::string findingsJson(const std::vector<FileFindings>& files, FindingKind kind, bool dryRun);
std::string findingsSarif(const std::vector<FileFindings>& files, FindingKind kind, bool dryRun);

}  // namespace vimbo::cli
