// The processor's own state, and the analysis operations it answers for by
// asking the analysis layer with the lookup its settings make.
#include "rewrite/processor.h"

#include <cstdio>

#include "analysis/guard_analyzer.h"
#include "analysis/guard_matching.h"
#include "analysis/guard_tracking.h"
#include "analysis/guarded_text.h"
#include "analysis/header_cache.h"
#include "analysis/header_finder.h"
#include "analysis/include_directive.h"
#include "analysis/path_parts.h"
#include "rewrite/scratch_file.h"

using vimbo::analysis::HeaderLookup;

Vimbo::Vimbo(Vimbo_Params* runSettings, RewriteOptions options, RunShared shared,
             const vimbo::platform::FileSystemOps& fs)
    : settings(runSettings), options_(std::move(options)), shared_(shared), fs_(fs) {}

Vimbo::~Vimbo() = default;

HeaderLookup Vimbo::lookup() const {
    return HeaderLookup{settings->includePath(), options_.quotePath, options_.rules, options_.followable,
                        options_.includeStack, options_.unit,
                        vimbo::analysis::namesCplusplusFile(settings->inputFile())};
}

std::string Vimbo::scratchPath() const {
    return scratchName_.empty() ? options_.scratchDirectory + kScratchFileName : scratchName_;
}

void Vimbo::report(Failure failure, const std::string& message) {
    failure_ = failure;
    lastMessage_ = message;
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

std::string Vimbo::parseIncludeDirective(std::string line, vimbo::analysis::IncludeKind& kind) {
    bool delimited;
    return vimbo::analysis::parseIncludeOperand(line, kind, delimited);
}

// A static operation has no processor to take a file system from: it asks the system's.
std::string Vimbo::searchIncludePath(std::string name, std::string searchPath, vimbo::analysis::IncludeKind kind) {
    return vimbo::analysis::searchIncludePath(vimbo::platform::defaultFileSystemOps(), name, searchPath, kind);
}

void Vimbo::toBackslashes(std::string& path) { vimbo::analysis::toBackslashes(path); }

std::string Vimbo::locateIncludeFile(const std::string& line) {
    return analyzer().finder().locateIncludeFile(line, lookup());
}

std::string Vimbo::findGuardMacro(const std::string& path) { return analyzer().findGuardMacro(path, lookup()); }

std::string Vimbo::verifiedGuardMacro(const std::string& path) {
    return analyzer().verifiedGuardMacro(path, lookup());
}

bool Vimbo::guardMatchesFile(std::string baseName, std::string macro) {
    return vimbo::analysis::guardMatchesFile(baseName, std::move(macro));
}

void Vimbo::trackIfndef(const std::string& line) {
    std::string macro = vimbo::analysis::testedMacro(line);
    if (!macro.empty()) lastIfndefMacro = std::move(macro);
}

std::string Vimbo::wrapIncludeLine(const std::string& line, const std::string& guard, const std::string& lastIfndef,
                                   unsigned char* changed) {
    bool wrapped = false;
    std::string text = vimbo::analysis::wrapIncludeLine(line, guard, lastIfndef, &wrapped);
    if (wrapped && changed) *changed = 1;
    return text;
}

std::string heldDirectoryOf(const std::string& outputFile) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(outputFile);
    return parts.drive + parts.directory;
}
