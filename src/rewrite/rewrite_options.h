// How a processor rewrites: one struct, set before the run, made by one of
// the two ways the engine runs (library() and batch()); a test may change a
// field of either.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/header_lookup.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::rewrite {

struct RewriteOptions {
    // The library's own calls and single-file mode: messages printed, the
    // library's rules, one pass, the file replaced where it lies;
    // `precompiledHeaders` are never wrapped, besides the defaults.
    static RewriteOptions library(const std::vector<std::string>& precompiledHeaders = {});
    // A file of a batch run: a compiler's rules (`lookup`, and the `others`
    // the file may be compiled with), the scratch file in
    // `scratchDirectory`, the text settled in memory and handed back to be
    // put in place with its batch, in one step; messages kept for the front
    // end, the marks honoured, every change recorded.
    static RewriteOptions batch(const vimbo::analysis::HeaderLookup& lookup,
                                std::vector<vimbo::analysis::HeaderLookup> others, std::string scratchDirectory,
                                bool keepLines, vimbo::engine::Strip strip,
                                const std::vector<std::string>& precompiledHeaders);

    // File-mode messages go to standard output, unless a front end that
    // reports them its own way turns that off.
    bool printMessages = true;
    // Where headers are found: the library's rules, or a compiler's (for
    // runs over whole repositories).
    vimbo::analysis::LookupRules rules = vimbo::analysis::LookupRules::library;
    // Directories searched for quoted names only, after the includer's own
    // directory and before the search path (a compiler's -iquote).
    std::string quotePath;
    // False when the build searches in a way the paths can't follow: no
    // header is then taken as found.
    bool followable = true;
    // cl's include stack, and the file compiled (see HeaderLookup).
    bool includeStack = false;
    std::string unit;
    // Other lookups the file may be compiled with: an include is wrapped only
    // when each of them that finds its header finds the same header with the
    // same guard.
    std::vector<vimbo::analysis::HeaderLookup> otherLookups;
    // The scratch file's directory ("" for the current one, else ending in a
    // separator): a front end that rewrites many files puts it beside each,
    // on the same file system, without changing directory.
    std::string scratchDirectory;
    // The text is rewritten in memory until it guards nothing more, then
    // written once (for front ends that visit each file once); the library's
    // own runs make one pass.
    bool settle = false;
    // The target is replaced by the scratch file in one step rather than
    // removed first (for runs in which other threads read the files).
    bool replaceInOneStep = false;
    // The new text is written beside the file and handed to the caller to
    // be put in place with others (a batch run, whose files are made
    // durable together), instead of now.
    bool commitLater = false;
    // Settled rewrites write a "#line" after each block of wraps, so that
    // every line keeps its number (__LINE__, diagnostics).
    bool keepLines = false;
    // Take external guards away (all, or the wrong ones) instead of adding them.
    vimbo::engine::Strip strip = vimbo::engine::Strip::none;
    // Includes of these names (compared without case) are never wrapped.
    std::vector<std::string> precompiledHeaders{"stdafx.h", "pch.h"};
    // Batch runs leave alone the include lines that "// vimbo: off" ... "on"
    // and "// vimbo: keep" mark, in every mode.
    bool honourOptOut = false;
    // Only include lines within these ranges of the input's lines (first
    // and last, from 1) are wrapped (lines changed since a revision); null:
    // every line.
    std::shared_ptr<const std::vector<std::pair<std::size_t, std::size_t>>> onlyLines;
    // Each guard added or taken away is recorded, at its line in the input.
    bool recordChanges = false;
};

}  // namespace vimbo::rewrite
