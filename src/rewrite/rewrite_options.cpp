#include "rewrite/rewrite_options.h"

#include <utility>

namespace vimbo::rewrite {

RewriteOptions RewriteOptions::library(const std::vector<std::string>& precompiledHeaders) {
    RewriteOptions options;
    options.precompiledHeaders.insert(options.precompiledHeaders.end(), precompiledHeaders.begin(),
                                      precompiledHeaders.end());
    return options;
}

RewriteOptions RewriteOptions::batch(const vimbo::analysis::HeaderLookup& lookup,
                                     std::vector<vimbo::analysis::HeaderLookup> others, std::string scratchDirectory,
                                     bool keepLines, vimbo::engine::Strip strip,
                                     const std::vector<std::string>& precompiledHeaders) {
    RewriteOptions options = library(precompiledHeaders);
    options.printMessages = false;
    options.rules = vimbo::analysis::LookupRules::compiler;
    options.quotePath = lookup.quotePath;
    options.followable = lookup.followable;
    options.includeStack = lookup.includeStack;
    options.unit = lookup.unit;
    options.otherLookups = std::move(others);
    options.scratchDirectory = std::move(scratchDirectory);
    options.settle = true;
    options.replaceInOneStep = true;
    options.commitLater = true;
    options.keepLines = keepLines;
    options.strip = strip;
    options.honourOptOut = true;
    options.recordChanges = true;
    return options;
}

}  // namespace vimbo::rewrite
