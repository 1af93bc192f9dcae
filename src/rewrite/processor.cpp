// The processor's own state, and the lookup its settings make for the
// analysis layer.
#include "rewrite/processor.h"

#include <cstdio>

#include "analysis/guard_analyzer.h"
#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "rewrite/scratch_file.h"

using vimbo::analysis::HeaderLookup;

namespace vimbo::rewrite {

Vimbo::Vimbo(Vimbo_Params* runSettings, RewriteOptions options, RunShared shared,
             const vimbo::platform::FileSystemOps& fs)
    : settings_(runSettings), options_(std::move(options)), shared_(shared), fs_(fs) {}

Vimbo::~Vimbo() = default;

HeaderLookup Vimbo::lookup() const {
    return HeaderLookup{settings_->includePath(), options_.quotePath, options_.rules, options_.followable,
                        options_.includeStack, options_.unit,
                        vimbo::analysis::namesCplusplusFile(settings_->inputFile())};
}

std::string Vimbo::defaultScratchPath() const { return options_.scratchDirectory + kScratchFileName; }

void Vimbo::report(FileRunResult& result, Failure failure, const std::string& message) {
    result.failure = failure;
    result.message = message;
    if (!options_.printMessages) return;
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
}

vimbo::analysis::GuardAnalyzer& Vimbo::analyzer() {
    if (!analyzer_) {
        if (!shared_.headers) {
            ownHeaders_ = std::make_unique<vimbo::analysis::HeaderCache>(fs_);
            shared_.headers = ownHeaders_.get();
        }
        analyzer_ = std::make_unique<vimbo::analysis::GuardAnalyzer>(*shared_.headers, shared_.index);
    }
    return *analyzer_;
}

std::string heldDirectoryOf(const std::string& outputFile) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(outputFile);
    return parts.drive + parts.directory;
}

}  // namespace vimbo::rewrite
