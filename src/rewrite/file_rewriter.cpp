// The batch facade: each file gets a processor of its own, set up as a
// compiler would find its headers, sharing what the run shares.
#include "vimbo/engine/file_rewriter.h"

#include <algorithm>
#include <optional>

#include "analysis/external_guards.h"
#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "analysis/run_index.h"
#include "platform/memory_overlay.h"
#include "rewrite/backup_claims.h"
#include "rewrite/processor.h"
#include "rewrite/scratch_file.h"
#include "rewrite/scratch_remover.h"
#include "vimbo/engine/thrown.h"

namespace vimbo::engine {

struct BatchContext::State {
    State(bool dryRun, const vimbo::platform::FileSystemOps& fs)
        : headers(fileSystem(dryRun, fs)), scratchRemover(headers.fileSystem(), !dryRun) {
        headers.setMaxFileSize(kDefaultMaxFileSize);
    }
    const vimbo::platform::FileSystemOps& fileSystem(bool dryRun, const vimbo::platform::FileSystemOps& fs) {
        if (!dryRun) return fs;
        overlay.emplace(fs);
        return overlay->ops();
    }
    std::optional<vimbo::platform::MemoryOverlay> overlay;  // first: the cache reads through it
    vimbo::analysis::HeaderCache headers;
    BackupClaims backups;
    vimbo::analysis::RunIndex index;
    bool indexed = false;
    std::vector<UnindexedFile> unindexed;
    ScratchRemover scratchRemover;  // last: its files are gone before the rest ends
};

BatchContext::BatchContext(bool dryRun) : BatchContext(dryRun, vimbo::platform::defaultFileSystemOps()) {}
BatchContext::BatchContext(bool dryRun, const vimbo::platform::FileSystemOps& fs)
    : state_(std::make_unique<State>(dryRun, fs)) {}
BatchContext::~BatchContext() = default;

std::optional<std::string> BatchContext::written(const std::string& path) const {
    if (!state_->overlay) return std::nullopt;
    std::optional<vimbo::platform::MemoryOverlay::Entry> entry = state_->overlay->changed(path);
    if (!entry || !entry->exists || !entry->intact) return std::nullopt;
    return std::move(entry->content);
}

std::vector<std::pair<std::string, std::uint64_t>> BatchContext::index(const std::vector<std::string>& files,
                                                                       const std::vector<std::string>& predefined,
                                                                       unsigned jobs, bool leaveOutLinked) {
    for (const std::string& macro : predefined) state_->index.predefine(macro);
    std::vector<std::pair<std::string, std::uint64_t>> linked;
    std::vector<vimbo::analysis::UnindexedFile> unindexed;
    state_->index.build(state_->headers, files, jobs, leaveOutLinked ? &linked : nullptr, &unindexed);
    state_->indexed = true;
    for (vimbo::analysis::UnindexedFile& file : unindexed)
        state_->unindexed.push_back({files[file.index], file.size, file.thrown ? thrownText(file.thrown) : ""});
    return linked;
}

void BatchContext::setMaxFileSize(std::uint64_t bytes) { state_->headers.setMaxFileSize(bytes); }

const std::vector<UnindexedFile>& BatchContext::unindexed() const { return state_->unindexed; }

std::uint64_t BatchContext::indexedSize(const std::string& path) const {
    vimbo::platform::FileIdentity read;
    return state_->indexed && state_->headers.knownVersion(path, read) ? read.size : 0;
}

bool BatchContext::includedByName(const std::string& path) const {
    return !state_->indexed || state_->index.includedByName(path);
}

std::vector<std::string> BatchContext::sharedGuards() const {
    std::vector<std::string> shared;
    for (const auto& [guard, paths] : state_->index.sharedGuards()) {
        std::string text = guard + ":";
        for (const std::string& path : paths) text += " " + path;
        shared.push_back(std::move(text));
    }
    return shared;
}

struct DirectoryRewriter::State {
    BatchContext::State& run;
    RewriteSettings settings;
    KeptScratch scratch;
};

DirectoryRewriter::DirectoryRewriter(BatchContext& context, RewriteSettings settings)
    : state_(new State{*context.state_, std::move(settings), {}}) {}

DirectoryRewriter::~DirectoryRewriter() { state_->run.scratchRemover.remove(std::move(state_->scratch)); }

namespace {

vimbo::analysis::HeaderLookup compilerLookup(const Lookup& lookup) {
    return {lookup.searchPath, lookup.quotePath, vimbo::analysis::LookupRules::compiler, lookup.followable};
}

// The drive and directory of a path, the scratch file's place: "" or ending
// in a separator.
std::string directoryOf(const std::string& path) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(path);
    return parts.drive + parts.directory;
}

RewriteOptions optionsFor(const std::string& path, const RewriteSettings& settings, const Lookup& lookup,
                          const std::vector<Lookup>& others) {
    RewriteOptions options;
    options.printMessages = false;
    options.rules = vimbo::analysis::LookupRules::compiler;
    options.quotePath = lookup.quotePath;
    options.followable = lookup.followable;
    for (const Lookup& other : others) options.otherLookups.push_back(compilerLookup(other));
    options.scratchDirectory = directoryOf(path);
    options.settle = true;
    options.replaceInOneStep = true;
    options.keepLines = settings.keepLines;
    options.strip = settings.strip == Strip::all     ? WrapperStrip::all
                    : settings.strip == Strip::wrong ? WrapperStrip::wrong
                                                     : WrapperStrip::none;
    options.precompiledHeaders.insert(options.precompiledHeaders.end(), settings.precompiledHeaders.begin(),
                                      settings.precompiledHeaders.end());
    options.honourOptOut = true;
    options.recordChanges = true;
    return options;
}

std::vector<Finding> findingsOf(const std::vector<IncludeChange>& changes, const std::vector<std::string>& reasons) {
    std::vector<Finding> findings;
    for (std::size_t i = 0; i < changes.size(); ++i)
        findings.push_back({changes[i].line, changes[i].column, changes[i].directive, changes[i].macro,
                            i < reasons.size() ? reasons[i] : ""});
    return findings;
}

void noteFailure(const Vimbo& processor, const vimbo::platform::FileSystemOps& fs, FileOutcome& outcome) {
    outcome.failure = processor.failure();
    outcome.message = processor.lastMessage();
    while (!outcome.message.empty() && outcome.message.back() == '\n') outcome.message.pop_back();
    const std::string scratch = processor.scratchPath();
    // Only a scratch file that is there is worth a look.
    if ((outcome.failure == Failure::cantCreateScratch || outcome.failure == Failure::cantRename) &&
        (fs.exists(scratch) || fs.isLink(scratch)))
        outcome.scratchLeft = scratch;
}

}  // namespace

FileOutcome DirectoryRewriter::rewrite(const std::string& path, const Lookup& lookup,
                                       const std::vector<Lookup>& others) {
    Vimbo_Params params(path);
    params.setIncludePath(lookup.searchPath);
    if (state_->settings.backup) params.setBackup();
    const auto& fs = state_->run.headers.fileSystem();
    Vimbo processor(&params, optionsFor(path, state_->settings, lookup, others),
                    RunShared{&state_->run.headers, &state_->run.backups, &state_->scratch, state_->run.indexed ? &state_->run.index : nullptr}, fs);
    FileOutcome outcome;
    outcome.changed = processor.processFile() != 0;
    if (processor.failed()) noteFailure(processor, fs, outcome);
    else if (outcome.changed) outcome.findings = findingsOf(processor.changes(), {});
    std::stable_sort(outcome.findings.begin(), outcome.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return outcome;
}

FileOutcome DirectoryRewriter::audit(const std::string& path, const Lookup& lookup, const std::vector<Lookup>& others) {
    Vimbo_Params params(path);
    params.setIncludePath(lookup.searchPath);
    const auto& fs = state_->run.headers.fileSystem();
    Vimbo processor(&params, optionsFor(path, state_->settings, lookup, others),
                    RunShared{&state_->run.headers, nullptr, nullptr, state_->run.indexed ? &state_->run.index : nullptr}, fs);
    FileOutcome outcome;
    std::vector<vimbo::analysis::GuardWrapper> wrong;
    if (!processor.auditFile(wrong)) noteFailure(processor, fs, outcome);
    std::vector<std::string> problems;
    for (const vimbo::analysis::GuardWrapper& wrapper : wrong) problems.push_back(wrapper.name + " " + wrapper.problem);
    outcome.findings = findingsOf(processor.changes(), problems);
    return outcome;
}

}  // namespace vimbo::engine
