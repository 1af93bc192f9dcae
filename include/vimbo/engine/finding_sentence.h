// A finding in the words of the text report, for a front end that prints
// the findings an observer is shown (ShownFile) as the command does, and
// in the same words as the SARIF report's messages.
#pragma once

#include <string>

#include "vimbo/engine/batch_observer.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::engine {

// "#include <x.h> can be wrapped in G" (`dryRun`), "... was wrapped in
// G" (a rewrite); an audit's finding as the audit words it. People read it
// after "FILE:LINE:COLUMN: warning: ".
std::string findingSentence(const Finding& finding, FindingKind kind, bool dryRun);

// The rule a finding is under, as the SARIF report names it
// ("missing-external-guard", "external-guard", "wrong-external-guard").
const char* findingRule(FindingKind kind);

// A finding as a compiler words a diagnostic: "FILE:LINE:COLUMN: warning:
// SENTENCE [RULE]", a note for what a rewrite has already done.
std::string findingDiagnostic(const std::string& path, const Finding& finding, FindingKind kind, bool dryRun);

}  // namespace vimbo::engine
