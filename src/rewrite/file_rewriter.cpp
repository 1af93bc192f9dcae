// The batch facade: each file gets a processor of its own, set up as a
// compiler would find its headers, sharing what the run shares.
#include "vimbo/engine/file_rewriter.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "analysis/external_guards.h"
#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "analysis/run_index.h"
#include "platform/memory_overlay.h"
#include "rewrite/backup_claims.h"
#include "rewrite/processor.h"
#include "rewrite/commit_batch.h"
#include "rewrite/failure.h"
#include "rewrite/leftover_scratch.h"
#include "rewrite/scratch_file.h"
#include "rewrite/scratch_remover.h"
#include "vimbo/engine/thrown.h"

using namespace vimbo::rewrite;

namespace vimbo::engine {

namespace {
// A directory as the run keys it, however its files spell it: "src/",
// "src" and "src//" are one; the current one is ".".
std::string directoryKey(std::string directory) {
    while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\')) directory.pop_back();
    return directory.empty() ? "." : directory;
}

// The drive and directory of a path, the scratch file's place: "" or ending
// in a separator.
std::string directoryOf(const std::string& path) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(path);
    return parts.drive + parts.directory;
}
}  // namespace

struct BatchContext::State {
    State(bool dryRun, const vimbo::platform::FileSystemOps& fs)
        : below(fs), headers(fileSystem(dryRun, fs)), scratchRemover(!dryRun), dry(dryRun) {
        headers.setMaxFileSize(kDefaultMaxFileSize);
    }
    const vimbo::platform::FileSystemOps& fileSystem(bool dryRun, const vimbo::platform::FileSystemOps& fs) {
        if (!dryRun) return fs;
        overlay.emplace(fs);
        return overlay->ops();
    }
    const vimbo::platform::FileSystemOps& below;  // what a dry run's overlay lies over
    std::optional<vimbo::platform::MemoryOverlay> overlay;  // before the cache: it reads through it
    vimbo::analysis::HeaderCache headers;
    BackupClaims backups;
    vimbo::analysis::RunIndex index;
    bool indexed = false;
    std::vector<UnindexedFile> unindexed;
    // Each directory as the run first saw it, and what runs cut short left there.
    struct Expected {
        DirectoryIdentity identity;
        std::vector<std::string> leftovers;
    };
    std::mutex expectedLock;
    std::map<std::string, Expected> expected;
    ScratchRemover scratchRemover;  // last: its files are gone before the rest ends
    const bool dry;
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

std::optional<std::string> BatchContext::before(const std::string& path) const {
    std::string bytes;
    if (!vimbo::platform::readWholeFile(state_->below, path, bytes)) return std::nullopt;
    return bytes;
}

namespace {
vimbo::analysis::HeaderLookup compilerLookup(const Lookup& lookup);
}  // namespace

std::vector<std::pair<std::string, std::uint64_t>> BatchContext::index(
    const std::vector<std::string>& files, const std::vector<std::string>& predefined, unsigned jobs,
    bool leaveOutLinked, const std::function<std::vector<Lookup>(const std::string&)>& lookupsOf) {
    // Before any file is read: the directories of files named on their own
    // are taken as they are now.
    {
        std::lock_guard<std::mutex> hold(state_->expectedLock);
        std::string last;
        for (const std::string& file : files) {
            std::string key = directoryKey(directoryOf(file));
            if (key == last) continue;
            last = key;
            DirectoryIdentity identity;
            if (!state_->expected.count(key) && directoryIdentity(key, identity))
                state_->expected.emplace(std::move(key), State::Expected{identity, {}});
        }
    }
    for (const std::string& macro : predefined) state_->index.predefine(macro);
    std::vector<std::pair<std::string, std::uint64_t>> linked;
    std::vector<vimbo::analysis::UnindexedFile> unindexed;
    vimbo::analysis::RunIndex::LookupsOf follow;
    if (lookupsOf)
        follow = [&](const std::string& file) {
            std::vector<vimbo::analysis::HeaderLookup> lookups;
            for (const Lookup& lookup : lookupsOf(file)) lookups.push_back(compilerLookup(lookup));
            return lookups;
        };
    state_->index.build(state_->headers, files, jobs, leaveOutLinked ? &linked : nullptr, &unindexed, follow);
    state_->indexed = true;
    for (vimbo::analysis::UnindexedFile& file : unindexed)
        state_->unindexed.push_back({files[file.index], file.size, file.thrown ? thrownText(file.thrown) : ""});
    return linked;
}

void BatchContext::expectDirectory(const std::string& directory, const DirectoryIdentity& identity,
                                   std::vector<std::string> leftovers) {
    std::lock_guard<std::mutex> hold(state_->expectedLock);
    state_->expected[directoryKey(directory)] = State::Expected{identity, std::move(leftovers)};
}

std::vector<std::string> BatchContext::problems() { return state_->scratchRemover.problems(); }

void BatchContext::setMaxFileSize(std::uint64_t bytes) { state_->headers.setMaxFileSize(bytes); }

void BatchContext::linkedAside(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& files) {
    for (const auto& [device, file] : files) state_->index.linkedAside(device, file);
}

const std::vector<UnindexedFile>& BatchContext::unindexed() const { return state_->unindexed; }

std::uint64_t BatchContext::indexedSize(const std::string& path) const {
    vimbo::platform::FileIdentity read;
    return state_->indexed && state_->headers.knownVersion(path, read) ? read.size : 0;
}

bool BatchContext::includedByName(const std::string& path) const {
    // While the index follows includes out of the run, the run's own files are known.
    return !(state_->indexed || state_->index.listedRead()) || state_->index.includedByName(path);
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

struct RewriteBatch::State {
    State(BatchContext::State& context, Done whenDone)
        : run(context), commits(&context.headers, context.scratchRemover), done(std::move(whenDone)) {}
    BatchContext::State& run;
    CommitBatch commits;
    Done done;
};

RewriteBatch::RewriteBatch(BatchContext& context, Done done)
    : state_(std::make_unique<State>(*context.state_, std::move(done))) {}

RewriteBatch::~RewriteBatch() {
    // Callers finish a batch themselves; this is for one left by a throw,
    // whose files still go in place (or stay as they were) where they can.
    try {
        finish();
    } catch (...) {
    }
}

void RewriteBatch::finish() { state_->commits.finish(); }

struct DirectoryRewriter::State {
    BatchContext::State& run;
    RewriteSettings settings;
    RewriteBatch* batch;
    // Without a batch of the caller's: one of its own, for a file at a time.
    std::unique_ptr<RewriteBatch> own;
    FileOutcome lastPublished;
    // The directory of the files so far, held, and its scratch names.
    std::string directory;
    std::shared_ptr<vimbo::platform::HeldDirectory> held;
    std::unique_ptr<ScratchNames> names;
    std::vector<std::string> notes;  // for the next outcome
    void release() {
        if (held) held->unlock();
        held.reset();
        names.reset();
    }
};

DirectoryRewriter::DirectoryRewriter(BatchContext& context, RewriteSettings settings, RewriteBatch* batch)
    : state_(new State{*context.state_, std::move(settings), batch, nullptr, {}, "", nullptr, nullptr, {}}) {
    if (!batch) {
        state_->own = std::make_unique<RewriteBatch>(
            context, [this](std::size_t, FileOutcome outcome) { state_->lastPublished = std::move(outcome); });
        state_->batch = state_->own.get();
    }
}

DirectoryRewriter::~DirectoryRewriter() {
    state_->release();
    if (state_->own) {
        state_->own.reset();
        state_->run.scratchRemover.drain();
    }
}

namespace {

vimbo::analysis::HeaderLookup compilerLookup(const Lookup& lookup) {
    return {lookup.searchPath, lookup.quotePath, vimbo::analysis::LookupRules::compiler, lookup.followable,
            lookup.includeStack, lookup.unit};
}

RewriteOptions optionsFor(const std::string& path, const RewriteSettings& settings, const Lookup& lookup,
                          const std::vector<Lookup>& others) {
    std::vector<vimbo::analysis::HeaderLookup> compiled;
    for (const Lookup& other : others) {
        compiled.push_back(compilerLookup(other));
        compiled.back().cplusplus = vimbo::analysis::namesCplusplusFile(path);
    }
    RewriteOptions options = RewriteOptions::batch(compilerLookup(lookup), std::move(compiled), directoryOf(path),
                                                   settings.keepLines, settings.strip, settings.precompiledHeaders);
    if (settings.onlyLines) {
        const auto found = settings.onlyLines->find(std::filesystem::path(path).lexically_normal().generic_string());
        // Sharing the table's life: it outlives no run, but a copy per file would cost.
        if (found != settings.onlyLines->end())
            options.onlyLines = std::shared_ptr<const std::vector<std::pair<std::size_t, std::size_t>>>(
                settings.onlyLines, &found->second);
    }
    return options;
}

std::vector<Finding> findingsOf(const std::vector<IncludeChange>& changes, const std::vector<std::string>& reasons) {
    std::vector<Finding> findings;
    for (std::size_t i = 0; i < changes.size(); ++i)
        findings.push_back({changes[i].line, changes[i].column, changes[i].directive, changes[i].macro,
                            i < reasons.size() ? reasons[i] : ""});
    return findings;
}

// What is said of a scratch file that a run cut short left: a note for one
// taken away, and for one that stays a problem of the run's, which makes
// its exit status say so.
std::string leftoverNote(const std::string& left, const std::string& of, bool dryRun) {
    return "note: " + left + ": a scratch file that a run cut short left, " +
           (of.empty() ? std::string("with no text") : "with the old text of " + of + ", which " + of + " still holds") +
           "; " + (dryRun ? "a rewrite takes it away" : "taken away");
}

std::string keptLeftover(const std::string& left) {
    return left + ": a scratch file that a run cut short left, with text no file beside it has; it stays: "
                  "look at what it holds, then remove it";
}

void noteFailure(const FileRunResult& result, const vimbo::platform::FileSystemOps& fs, FileOutcome& outcome) {
    outcome.failure = result.failure;
    outcome.message = result.message;
    while (!outcome.message.empty() && outcome.message.back() == '\n') outcome.message.pop_back();
    const std::string& scratch = result.scratchPath;
    // Only a scratch file that is there is worth a look.
    if ((outcome.failure == Failure::cantCreateScratch || outcome.failure == Failure::cantRename) &&
        (fs.exists(scratch) || fs.isLink(scratch)))
        outcome.scratchLeft = scratch;
}

}  // namespace

// The file's directory, held from its first file on; false (with the
// outcome) when it is no longer the directory the run first saw.
bool DirectoryRewriter::hold(const std::string& path, FileOutcome& outcome) {
    State& state = *state_;
    const std::string directory = directoryOf(path);
    if (state.held && directory == state.directory) return true;
    state.release();
    state.directory = directory;
    const std::string key = directoryKey(directory);
    std::optional<BatchContext::State::Expected> expected;
    {
        std::lock_guard<std::mutex> hold(state.run.expectedLock);
        const auto found = state.run.expected.find(key);
        if (found != state.run.expected.end()) expected = found->second;
    }
    auto held = std::make_shared<vimbo::platform::HeldDirectory>(state.run.headers.fileSystem(), directory,
                                                                  expected ? &expected->identity : nullptr);
    if (!held->held()) {
        outcome.failure = Failure::directoryChanged;
        outcome.message = kDirectoryChanged;
        outcome.message.pop_back();
        return false;
    }
    // Another run with files under way there: this one first puts all of
    // its own in place and lets go of every directory (old versions hold
    // theirs), so that no run waits while it holds one.
    if (!held->lock(false)) {
        state.batch->state_->commits.finish();
        state.run.scratchRemover.drain();
        held->lock(true);
    }
    state.held = std::move(held);
    state.names = std::make_unique<ScratchNames>(directory);
    // What a run cut short left is taken away where it holds a file's old
    // text; what else it left stays under its name.
    if (expected)
        for (const std::string& name : expected->leftovers) {
            std::string of;
            const auto& fs = state.held->ops();
            if (!fs.exists(directory + name) && !fs.isLink(directory + name)) continue;
            if (removeLeftover(fs, directory + name, "", of)) {
                state.notes.push_back(leftoverNote(directory + name, of, state.run.dry));
            } else {
                state.names->keep(name);
                state.run.scratchRemover.report(keptLeftover(directory + name));
            }
        }
    return true;
}

FileOutcome DirectoryRewriter::rewrite(const std::string& path, const Lookup& lookup,
                                       const std::vector<Lookup>& others, std::size_t id) {
    State& state = *state_;
    FileOutcome outcome;
    if (!hold(path, outcome)) return outcome;
    Vimbo_Params params(path);
    params.setIncludePath(lookup.searchPath);
    if (state.settings.backup) params.setBackup();
    const auto& fs = state.held->ops();
    RunShared shared{&state.run.headers, &state.run.backups, state.names.get(),
                     state.held, &state.batch->state_->commits, state.run.indexed ? &state.run.index : nullptr};
    Vimbo processor(&params, optionsFor(path, state.settings, lookup, others), shared, fs);
    FileRunResult result = processor.rewriteFile();
    outcome.changed = result.status != 0;
    for (const FileRunResult::Leftover& left : result.leftovers) {
        if (left.removed) state.notes.push_back(leftoverNote(left.path, left.of, state.run.dry));
        else state.run.scratchRemover.report(keptLeftover(left.path));
    }
    outcome.notes = std::move(state.notes);
    state.notes.clear();
    if (result.failed()) noteFailure(result, fs, outcome);
    else if (outcome.changed) outcome.findings = findingsOf(result.changes, {});
    if (!result.failed())
        for (const UnfoundInclude& unfound : result.unfound)
            outcome.unresolved.push_back({unfound.place.line, unfound.place.column, unfound.place.directive,
                                          unfound.header, unfound.quoted, false});
    if (!result.failed()) {
        outcome.unclosedOffLine = result.unclosedOffLine;
        outcome.unclosedOffColumn = result.unclosedOffColumn;
    }
    std::stable_sort(outcome.findings.begin(), outcome.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    std::optional<PendingRewrite>& prepared = result.prepared;
    if (!prepared) return outcome;
    prepared->noteVersion = state.settings.noteVersions;
    // Put in place with its batch; its outcome is then complete.
    RewriteBatch::State& batch = *state.batch->state_;
    FileOutcome waiting = outcome;
    batch.commits.add(std::move(*prepared), [&batch, id, waiting](const Published& published) mutable {
        const vimbo::platform::FileIdentity& now = published.written;
        waiting.written = FileVersion{now.device, now.file, now.size, now.modified, now.changed};
        if (published.failure != Failure::none) {
            waiting.failure = published.failure;
            waiting.message = published.message;
            while (!waiting.message.empty() && waiting.message.back() == '\n') waiting.message.pop_back();
            waiting.scratchLeft = published.scratchLeft;
            waiting.findings.clear();
        }
        batch.done(id, std::move(waiting));
    });
    if (state.own) {
        // One file at a time: it is in place, and what its swap left gone, when this returns.
        state.own->finish();
        state.run.scratchRemover.drain();
        return std::move(state.lastPublished);
    }
    if (batch.commits.full()) batch.commits.publish();
    outcome.pending = true;
    outcome.findings.clear();
    outcome.unresolved.clear();
    outcome.notes.clear();
    outcome.unclosedOffLine = 0;
    return outcome;
}

FileOutcome DirectoryRewriter::audit(const std::string& path, const Lookup& lookup, const std::vector<Lookup>& others) {
    Vimbo_Params params(path);
    params.setIncludePath(lookup.searchPath);
    const auto& fs = state_->run.headers.fileSystem();
    Vimbo processor(&params, optionsFor(path, state_->settings, lookup, others),
                    RunShared{&state_->run.headers, nullptr, nullptr, nullptr, nullptr,
                              state_->run.indexed ? &state_->run.index : nullptr},
                    fs);
    FileOutcome outcome;
    std::vector<vimbo::analysis::GuardWrapper> wrong;
    const FileRunResult result = processor.auditFile(wrong);
    if (result.failed()) noteFailure(result, fs, outcome);
    std::vector<std::string> problems;
    for (const vimbo::analysis::GuardWrapper& wrapper : wrong) problems.push_back(wrapper.name + " " + wrapper.problem);
    outcome.findings = findingsOf(result.changes, problems);
    return outcome;
}

}  // namespace vimbo::engine
