#include "batch/batch_run.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <set>

#include "batch/unified_diff.h"
#include "project/file_size.h"
#include "vimbo/engine/worker_threads.h"
#include "vimbo/engine/interruption.h"
#include "vimbo/engine/thrown.h"

namespace fs = std::filesystem;

using vimbo::engine::FileOutcome;
using vimbo::engine::Lookup;
using vimbo::platform::Interruption;
using vimbo::project::SkippedFile;
using vimbo::project::WalkedDirectory;

namespace vimbo::batch {

using namespace vimbo::project;
namespace {

// What the run keeps of a file once it is shown: a few flags, and the
// findings where a report or an audit needs them at the end.
struct FileState {
    bool examined = false;
    bool hadFailure = false;
    bool changed = false;
    // Only where a report or an audit needs them: most files keep none.
    std::unique_ptr<std::vector<vimbo::engine::Finding>> kept;
    // Include lines whose header was not found: of the project's, of others.
    std::size_t unresolvedOwn = 0, unresolvedOther = 0;
    std::unique_ptr<std::vector<vimbo::engine::UnresolvedInclude>> keptUnresolved;  // for a document
    const std::vector<vimbo::engine::UnresolvedInclude>* unresolved() const { return keptUnresolved.get(); }
    std::string failure;  // why it failed, for a document
    bool failed() const { return hadFailure; }
    const std::vector<vimbo::engine::Finding>& findings() const {
        static const std::vector<vimbo::engine::Finding> none;
        return kept ? *kept : none;
    }
};

bool failed(const FileOutcome& outcome) { return outcome.failure != vimbo::engine::Failure::none; }

// The directory a file lies in, whatever spelling names it: files of one
// directory share the scratch file's name. `current`: the current directory,
// asked once for the run rather than once per file.
std::string directoryKey(const std::string& path, const fs::path& current) {
    std::error_code error;
    const fs::path directory = fs::path(path).parent_path() / ".";
    // A path with a drive but no root ("C:x") is relative to that drive's own directory.
    const fs::path absolute = directory.is_absolute() || directory.has_root_name() ? fs::absolute(directory, error)
                                                                                   : current / directory;
    return absolute.lexically_normal().generic_string();
}

// A failed file's lines for standard error.
std::string messagesOf(const std::string& path, const FileOutcome& outcome) {
    std::string text = "vimbo: " + path + ": " + outcome.message + "\n";
    if (!outcome.scratchLeft.empty())
        text += "vimbo: " + path + ": the scratch file is " + outcome.scratchLeft +
                "; look at what it holds, then remove it\n";
    return text;
}

// What each file shows once every file before it in the list is done:
// failure messages, then for a rewrite, check or diff its findings (with
// the diff of a --diff run), all told to the observer. A file's
// text and findings are let go once shown, so a dry run's memory stays flat
// however large the tree; a JSON or SARIF document keeps the findings for
// the end, and a verification the texts it compares.
class ListOrderReport {
public:
    ListOrderReport(const BatchSettings& settings, const vimbo::engine::BatchContext& context, vimbo::engine::BatchObserver& observer)
        : settings_(settings), context_(context), observer_(observer) {}

    FileState show(const std::string& path, FileOutcome& outcome) {
        for (const std::string& note : outcome.notes) observer_.message("vimbo: " + note + "\n");
        if (!failed(outcome) && outcome.unclosedOffLine)
            observer_.message(path + ":" + std::to_string(outcome.unclosedOffLine) + ":" +
                              std::to_string(outcome.unclosedOffColumn) +
                              ": warning: \"vimbo: off\" with no \"vimbo: on\" after it leaves every include line "
                              "to the end of the file alone [unclosed-off]\n");
        if (settings_.mode != vimbo::engine::BatchMode::audit && !failed(outcome) && outcome.changed) showChange(path, outcome);
        if (failed(outcome)) observer_.message(messagesOf(path, outcome));
        // A reader that went away (`| head`) ends the run as a signal does:
        // no file is begun after it, the ones in flight finish.
        if (!observer_.stillRead()) Interruption::outputClosed();
        if (settings_.written && outcome.changed && !failed(outcome)) (*settings_.written)[path] = outcome.written;
        FileState state;
        state.examined = true;
        state.hadFailure = failed(outcome);
        state.changed = outcome.changed;
        const bool keptForTheEnd = settings_.format != vimbo::engine::OutputFormat::text || settings_.mode == vimbo::engine::BatchMode::audit;
        if (keptForTheEnd && !outcome.findings.empty())
            state.kept = std::make_unique<std::vector<vimbo::engine::Finding>>(std::move(outcome.findings));
        if (!failed(outcome)) noteUnresolved(path, outcome, state);
        if (keptForTheEnd && failed(outcome)) state.failure = outcome.message;
        if (keptForTheEnd && !outcome.unresolved.empty())
            state.keptUnresolved =
                std::make_unique<std::vector<vimbo::engine::UnresolvedInclude>>(std::move(outcome.unresolved));
        return state;
    }

private:
    void noteUnresolved(const std::string& path, FileOutcome& outcome, FileState& state) {
        for (vimbo::engine::UnresolvedInclude& include : outcome.unresolved) {
            include.inProject = settings_.inProject && settings_.inProject(include.header);
            ++(include.inProject ? state.unresolvedOwn : state.unresolvedOther);
            observer_.unresolved(path, include, include.inProject && settings_.strict);
        }
    }

    void showChange(const std::string& path, FileOutcome& outcome) {
        const bool dryRun = settings_.mode != vimbo::engine::BatchMode::rewrite;
        std::optional<std::string> text;
        if (dryRun && (settings_.dryRunTexts || settings_.mode == vimbo::engine::BatchMode::diff)) {
            text = context_.written(path);
            // Kept as edits against the file on disk, which has changed since.
            if (!text) {
                outcome.failure = vimbo::engine::Failure::ioError;
                outcome.message = "changed on disk during the run; its new text can't be shown";
                return;
            }
        }
        if (text && settings_.dryRunTexts) settings_.dryRunTexts->emplace_back(path, *text);
        const vimbo::engine::FindingKind kind =
            settings_.rewrite.strip == vimbo::engine::Strip::none ? vimbo::engine::FindingKind::wrap : vimbo::engine::FindingKind::strip;
        if (settings_.format != vimbo::engine::OutputFormat::text) return;
        std::string diff;
        // Read as the run was handed it: a staged text in place of the disk's.
        if (settings_.mode == vimbo::engine::BatchMode::diff)
            diff = unifiedDiff(path, context_.before(path).value_or(""), *text);
        observer_.shown({path, outcome.findings, kind, dryRun, settings_.mode == vimbo::engine::BatchMode::diff ? &diff : nullptr});
    }

    const BatchSettings& settings_;
    const vimbo::engine::BatchContext& context_;
    vimbo::engine::BatchObserver& observer_;
};

// Hands out whole directories, so that no two files of one directory (which
// share the scratch file's name) are in flight at once, and shows each
// file's results in the order of the list, whatever order they finish in.
class Scheduler {
public:
    Scheduler(const std::vector<std::string>& files, std::vector<FileState>& states, ListOrderReport& report,
              vimbo::engine::BatchObserver& observer, bool showProgress)
        : files_(files), states_(states), report_(report), observer_(observer), showProgress_(showProgress) {
        if (showProgress_) observer_.progressBegun(files.size(), "files");
        std::map<std::string, std::size_t> groupOf;
        std::error_code error;
        const fs::path current = fs::current_path(error);
        for (std::size_t i = 0; i < files.size(); ++i) {
            auto [at, added] = groupOf.emplace(directoryKey(files[i], current), groups_.size());
            if (added) groups_.emplace_back();
            groups_[at->second].push_back(i);
        }
    }

    // The files of the next directory, in list order; false when none is left.
    bool next(std::vector<std::size_t>& group) {
        std::lock_guard<std::mutex> hold(lock_);
        if (nextGroup_ == groups_.size()) return false;
        group = groups_[nextGroup_++];
        return true;
    }

    void finish(std::size_t index, FileOutcome outcome) {
        std::lock_guard<std::mutex> hold(lock_);
        waiting_.emplace(index, std::move(outcome));
        for (auto next = waiting_.begin(); next != waiting_.end() && next->first == reported_;
             next = waiting_.erase(next), ++reported_) {
            states_[reported_] = report_.show(files_[reported_], next->second);
        }
        ++done_;
        if (showProgress_) observer_.progressMade(done_);
    }

    // Results of files that finished after one that never began (a run cut short).
    void flush() {
        std::lock_guard<std::mutex> hold(lock_);
        if (showProgress_) observer_.progressEnded();
        showProgress_ = false;
        for (auto& [index, outcome] : waiting_) states_[index] = report_.show(files_[index], outcome);
        waiting_.clear();
    }

private:
    const std::vector<std::string>& files_;
    std::vector<FileState>& states_;
    ListOrderReport& report_;
    std::map<std::size_t, FileOutcome> waiting_;  // done, but a file before them is not
    std::vector<std::vector<std::size_t>> groups_;
    std::size_t nextGroup_ = 0, reported_ = 0, done_ = 0;
    std::mutex lock_;
    vimbo::engine::BatchObserver& observer_;
    bool showProgress_;
};

// Why a file larger than the run reads is skipped.
std::string tooLargeReason(std::uint64_t size, std::uint64_t limit) {
    return std::to_string(size) + " bytes, over the limit of " + fileSizeText(limit) + "; --max-file-size raises it";
}

// What a file whose processing threw gets: a failure with its name, as any
// other; the run goes on with the next. Only one the index could not read
// is known to be as it was.
FileOutcome thrownOutcome(const std::string& what, bool unread) {
    FileOutcome outcome;
    outcome.failure = vimbo::engine::Failure::ioError;
    outcome.message = "can't be processed (" + what + ")" + (unread ? "; left unchanged" : "");
    return outcome;
}

// Every file, a directory at a time on each of the jobs, until a signal.
// `unread`: files the index could not read for what was thrown, and what.
std::vector<FileState> visitAll(const BatchSettings& settings, const std::vector<std::string>& files,
                                vimbo::engine::BatchContext& context, const std::map<std::string, std::string>& unread,
                                vimbo::engine::BatchObserver& observer) {
    std::vector<FileState> states(files.size());
    ListOrderReport report(settings, context, observer);
    Scheduler scheduler(files, states, report, observer, settings.showProgress);
    std::atomic<bool> stopped{false};
    const auto work = [&] {
        // Each job's rewrites go in place a batch at a time; those begun
        // when a signal comes are finished.
        vimbo::engine::RewriteBatch batch(context, [&](std::size_t i, FileOutcome outcome) {
            scheduler.finish(i, std::move(outcome));
        });
        std::vector<std::size_t> group;
        while (scheduler.next(group)) {
            vimbo::engine::RewriteSettings rewrite = settings.rewrite;
            if (settings.precompiledHeadersFor)
                rewrite.precompiledHeaders = settings.precompiledHeadersFor(files[group.front()]);
            vimbo::engine::DirectoryRewriter directory(context, rewrite, &batch);
            for (std::size_t i : group) {
                // After a signal no file is begun; the ones begun are finished.
                if (Interruption::signal() || stopped) break;
                const auto failed = unread.find(files[i]);
                if (failed != unread.end()) {
                    scheduler.finish(i, thrownOutcome(failed->second, true));
                    continue;
                }
                FileOutcome outcome;
                try {
                    const auto [lookup, others] =
                        settings.lookups ? settings.lookups->lookupsFor(files[i], context.includedByName(files[i]))
                                         : std::make_pair(searchPathLookup(settings.includePath), std::vector<Lookup>{});
                    outcome = settings.mode == vimbo::engine::BatchMode::audit ? directory.audit(files[i], lookup, others)
                                                                : directory.rewrite(files[i], lookup, others, i);
                } catch (...) {
                    outcome = thrownOutcome(vimbo::engine::thrownText(std::current_exception()), false);
                }
                if (!outcome.pending) scheduler.finish(i, std::move(outcome));
            }
            if (Interruption::signal()) break;
        }
        batch.finish();
    };
    // What throws outside a file's own work (its report, say) ends the run
    // once every job has stopped, as it would with one job.
    const auto stopping = [&] {
        try {
            work();
        } catch (...) {
            stopped = true;
            throw;
        }
    };
    vimbo::engine::runOnThreads(settings.jobs, SIZE_MAX, stopping);
    scheduler.flush();
    return states;
}

// Every finding of the run, for tools.
std::string formatted(const BatchSettings& settings, const std::vector<std::string>& files,
                      const std::vector<FileState>& states, vimbo::engine::FindingKind kind) {
    std::vector<FileFindings> found;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!states[i].failed() && (!states[i].findings().empty() || states[i].unresolved()))
            found.push_back({files[i], &states[i].findings(), states[i].unresolved()});
    const bool dryRun = settings.mode != vimbo::engine::BatchMode::rewrite;
    if (settings.format != vimbo::engine::OutputFormat::sarif) return findingsJson(found, kind, dryRun);
    RunTrouble trouble;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (states[i].failed()) trouble.failedFiles.emplace_back(files[i], states[i].failure);
    return findingsSarif(found, kind, dryRun, trouble);
}

struct Counts {
    std::size_t examined = 0, failed = 0, changed = 0, wrong = 0, wrongFiles = 0;
    std::size_t unresolvedOwn = 0, unresolvedOther = 0;
};

Counts countOf(const std::vector<FileState>& states) {
    Counts counts;
    for (const FileState& state : states) {
        if (state.examined) ++counts.examined;
        if (state.failed()) ++counts.failed;
        else if (state.changed) ++counts.changed;
        // An audit's findings are the wrong guards (a rewrite's, its changes).
        if (!state.findings().empty()) ++counts.wrongFiles;
        counts.wrong += state.findings().size();
        counts.unresolvedOwn += state.unresolvedOwn;
        counts.unresolvedOther += state.unresolvedOther;
    }
    return counts;
}

// Every guard that headers of the run share, then every wrong external guard,
// in the order of the list, on standard output; the counts on standard
// error, as for the other dry runs.
int reportAudit(const BatchSettings& settings, const std::vector<std::string>& files,
                const std::vector<FileState>& states, const std::vector<std::string>& sharedGuards,
                std::size_t skipped, int walkErrors, int signal, vimbo::engine::BatchObserver& observer) {
    if (settings.format == vimbo::engine::OutputFormat::text) {
        for (const std::string& shared : sharedGuards)
            observer.output("vimbo: one guard for several headers: " + shared + "\n");
        for (std::size_t i = 0; i < files.size(); ++i)
            if (!states[i].findings().empty())
                observer.shown({files[i], states[i].findings(), vimbo::engine::FindingKind::audit, true, nullptr});
    } else {
        // Shared guards are no finding at a line; they are told to people.
        for (const std::string& shared : sharedGuards)
            observer.message("vimbo: one guard for several headers: " + shared + "\n");
        observer.output(formatted(settings, files, states, vimbo::engine::FindingKind::audit));
    }
    observer.stillRead();
    const Counts counts = countOf(states);
    observer.summary("vimbo: " + std::string(signal ? "interrupted: " : "") + std::to_string(counts.examined) +
                         " files examined, " + std::to_string(counts.wrong) + " wrong external guards in " +
                         std::to_string(counts.wrongFiles) + " files, " + std::to_string(skipped) + " skipped, " +
                         std::to_string(counts.failed) + " failed\n",
                     false);
    if (signal) return 128 + signal;
    if (counts.failed > 0 || walkErrors > 0) return 2;
    return counts.wrong > 0 || !sharedGuards.empty() ? 1 : 0;
}

// A JSON or SARIF document of the run's changes, once every file is done
// (the text lines were shown file by file).
void reportDocument(const BatchSettings& settings, const std::vector<std::string>& files,
                    const std::vector<FileState>& states, vimbo::engine::BatchObserver& observer) {
    if (settings.format == vimbo::engine::OutputFormat::text) return;
    const vimbo::engine::FindingKind kind = settings.rewrite.strip == vimbo::engine::Strip::none ? vimbo::engine::FindingKind::wrap : vimbo::engine::FindingKind::strip;
    const std::string report = formatted(settings, files, states, kind);
    if (settings.reportInto) *settings.reportInto = report;
    else observer.output(report);
    observer.stillRead();
}

// "not found on the search path: 2 project headers, 5 others".
std::string unresolvedCounts(const Counts& counts) {
    std::string text = "not found on the search path: ";
    if (counts.unresolvedOwn)
        text += std::to_string(counts.unresolvedOwn) + (counts.unresolvedOwn == 1 ? " project header" : " project headers");
    if (counts.unresolvedOwn && counts.unresolvedOther) text += ", ";
    if (counts.unresolvedOther)
        text += std::to_string(counts.unresolvedOther) + (counts.unresolvedOther == 1 ? " other" : " others") +
                (counts.unresolvedOwn ? "" : " (none in the project)");
    return text;
}

int reportRewrite(const BatchSettings& settings, const Counts& counts, std::size_t skipped, int walkErrors,
                  int signal, std::size_t problems, vimbo::engine::BatchObserver& observer) {
    const bool rewriting = settings.mode == vimbo::engine::BatchMode::rewrite;
    // Told only when there are any, so that a clean run's lines stay as they were.
    if (counts.unresolvedOwn + counts.unresolvedOther > 0)
        observer.message("vimbo: " + unresolvedCounts(counts) + (settings.strict && counts.unresolvedOwn ? " (an error with --strict)" : "") + "\n");
    // Standard output holds only the document when tools read it.
    observer.summary("vimbo: " + std::string(signal ? "interrupted: " : "") + std::to_string(counts.examined) +
                         " files examined, " + std::to_string(counts.changed) +
                         (rewriting ? " rewritten, " : " would be rewritten, ") + std::to_string(skipped) +
                         " skipped, " + std::to_string(counts.failed) + " failed\n",
                     rewriting && settings.format == vimbo::engine::OutputFormat::text);
    if (signal) return 128 + signal;
    if (settings.strict && counts.unresolvedOwn > 0) return 2;
    const bool error = counts.failed > 0 || walkErrors > 0 || problems > 0;
    if (rewriting) return error ? 1 : 0;
    if (error) return 2;
    return counts.changed > 0 ? 1 : 0;
}

}  // namespace

std::string emptyReport(const BatchSettings& settings) {
    const vimbo::engine::FindingKind kind = settings.mode == vimbo::engine::BatchMode::audit                     ? vimbo::engine::FindingKind::audit
                             : settings.rewrite.strip == vimbo::engine::Strip::none ? vimbo::engine::FindingKind::wrap
                                                                                    : vimbo::engine::FindingKind::strip;
    const bool dryRun = settings.mode != vimbo::engine::BatchMode::rewrite;
    return settings.format == vimbo::engine::OutputFormat::sarif ? findingsSarif({}, kind, dryRun) : findingsJson({}, kind, dryRun);
}

int runBatch(const BatchSettings& settings, const std::vector<std::string>& listed,
             const std::vector<SkippedFile>& walkSkipped, int walkErrors, vimbo::engine::BatchObserver& observer) {
    const bool dryRun = settings.mode != vimbo::engine::BatchMode::rewrite;
    std::optional<vimbo::engine::BatchContext> made;
    if (settings.fileSystem) made.emplace(dryRun, *settings.fileSystem);
    else made.emplace(dryRun);
    vimbo::engine::BatchContext& context = *made;
    context.setMaxFileSize(settings.maxFileSize);
    if (settings.linkedAside) context.linkedAside({settings.linkedAside->begin(), settings.linkedAside->end()});
    if (settings.directories)
        for (const WalkedDirectory& directory : *settings.directories)
            context.expectDirectory(directory.path, directory.identity, directory.leftovers);
    Interruption interruption;
    // What the whole run says of macros, before any file is rewritten.
    const unsigned jobs = vimbo::engine::jobsWanted(settings.jobs);
    // The headers the run's includes reach outside it count too, found as
    // each file's own lookups find them.
    const std::function<std::vector<Lookup>(const std::string&)> lookupsOf = [&](const std::string& path) {
        if (!settings.lookups) return std::vector<Lookup>{searchPathLookup(settings.includePath)};
        auto [lookup, others] = settings.lookups->lookupsFor(path, context.includedByName(path));
        others.insert(others.begin(), lookup);
        return others;
    };
    // The index pass reads every file before the first is rewritten: the
    // run shows it has begun.
    if (settings.showProgress) observer.progressBegun(listed.size(), "files being read");
    const auto linked = context.index(
        listed, settings.database ? settings.database->commandLineMacros() : std::vector<std::string>{}, jobs,
        settings.skipLinked, lookupsOf);
    if (settings.showProgress) observer.progressEnded();
    // Files the index left out for their hard links or their size are
    // skipped as the walk would have skipped them; the list is copied only
    // then. Files it could not read for what was thrown stay, to fail in
    // their place of the list.
    std::vector<std::string> kept;
    std::vector<SkippedFile> skipped = walkSkipped;
    std::set<std::string> out;
    for (const auto& [path, links] : linked) {
        out.insert(path);
        skipped.push_back({path, hardLinksReason(links)});
    }
    std::map<std::string, std::string> unread;
    for (const vimbo::engine::UnindexedFile& file : context.unindexed()) {
        if (!file.failure.empty()) {
            unread.emplace(file.path, file.failure);
            continue;
        }
        out.insert(file.path);
        skipped.push_back({file.path, tooLargeReason(file.size, settings.maxFileSize)});
    }
    if (!out.empty()) {
        std::sort(skipped.begin(), skipped.end());
        for (const std::string& file : listed)
            if (!out.count(file)) kept.push_back(file);
    }
    const std::vector<std::string>& files = out.empty() ? listed : kept;
    for (const SkippedFile& file : skipped) observer.message("vimbo: " + file.path + ": skipped (" + file.reason + ")\n");
    const std::vector<FileState> states = visitAll(settings, files, context, unread, observer);
    const int signal = Interruption::signal();
    // What the swaps left that could not be taken away is the user's to see.
    const std::vector<std::string> problems = context.problems();
    for (const std::string& problem : problems) observer.message("vimbo: " + problem + "\n");
    if (settings.mode == vimbo::engine::BatchMode::audit)
        return reportAudit(settings, files, states, context.sharedGuards(), skipped.size(), walkErrors, signal,
                           observer);
    reportDocument(settings, files, states, observer);
    return reportRewrite(settings, countOf(states), skipped.size(), walkErrors, signal, problems.size(), observer);
}

}  // namespace vimbo::batch
