#include "batch_run.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "analysis/header_cache.h"
#include "analysis/path_parts.h"
#include "include_path.h"
#include "interruption.h"
#include "interface/backup_claims.h"
#include "interface/messages.h"
#include "interface/scratch_file.h"
#include "interface/vimbo.h"
#include "platform/file_system.h"
#include "platform/memory_overlay.h"
#include "progress.h"
#include "unified_diff.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

struct FileState {
    bool examined = false;
    bool failed = false;
    bool rewritten = false;
    std::string message;  // what went wrong, for standard error
    std::size_t wrongWrappers = 0;
    std::string findings;  // an audit's report of them, for standard output
};

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string withoutLineBreak(std::string message) {
    while (!message.empty() && message.back() == '\n') message.pop_back();
    return message;
}

// The drive and directory of a path, the scratch file's place: "" or ending
// in a separator.
std::string directoryOf(const std::string& path) {
    const vimbo::analysis::PathParts parts = vimbo::analysis::splitPath(path);
    return parts.drive + parts.directory;
}

// The search path and quote path of a set of a build's directories, with
// the command line's search path after them.
std::pair<std::string, std::string> lookupOf(const IncludeDirectories& directories, const std::string& includePath) {
    std::vector<std::string> search = directories.search;
    search.push_back(includePath);
    return {joinIncludePaths(search, ""), joinIncludePaths(directories.quoted, "")};
}

// One file, one visit: the text settles in memory and is committed once.

FileState rewriteFile(const BatchSettings& settings, const std::string& path, vimbo::analysis::HeaderCache& headers,
                      BackupClaims& backups, KeptScratch& scratch) {
    std::string searchPath = settings.includePath, quotePath;
    std::vector<std::pair<std::string, std::string>> otherLookups;
    if (settings.database) {
        std::tie(searchPath, quotePath) = lookupOf(settings.database->directoriesFor(path), settings.includePath);
        // A header is compiled as part of any unit: what it includes must be
        // the same header whichever unit's directories find it.
        if (!settings.database->lists(path) && settings.database->configurations().size() > 1)
            for (const IncludeDirectories& directories : settings.database->configurations())
                otherLookups.push_back(lookupOf(directories, settings.includePath));
    }
    Vimbo_Params params(path);
    params.setIncludePath(searchPath);
    if (settings.backup) params.setBackup();
    Vimbo processor(&params);
    processor.setPrintMessages(false);
    processor.shareHeaderCache(&headers);
    processor.shareBackupClaims(&backups);
    processor.lookUpLikeCompiler(true);
    processor.setQuotePath(quotePath);
    processor.setOtherLookups(std::move(otherLookups));
    processor.setScratchDirectory(directoryOf(path));
    processor.settleBeforeCommit(true);
    processor.replaceInOneStep(true);
    processor.reuseScratch(&scratch);
    processor.setStripWrappers(settings.strip);
    processor.keepLineNumbers(settings.keepLines);
    for (const std::string& name : settings.precompiledHeaders) processor.addPrecompiledHeader(name);
    FileState state;
    state.examined = true;
    if (settings.mode == BatchMode::audit) {
        std::vector<GuardWrapper> wrong;
        if (!processor.auditFile(wrong)) {
            state.failed = true;
            state.message = "vimbo: " + path + ": " + withoutLineBreak(processor.lastMessage()) + "\n";
        }
        state.wrongWrappers = wrong.size();
        for (const GuardWrapper& wrapper : wrong) state.findings += describeWrongWrapper(path, wrapper);
        return state;
    }
    const int result = processor.processFile();
    if (processor.failed()) {
        state.failed = true;
        state.message = "vimbo: " + path + ": " + withoutLineBreak(processor.lastMessage()) + "\n";
        const std::string& text = processor.lastMessage();
        // Only a scratch file that is there is worth a look.
        if ((text == kCantCreateTemp || text.rfind(kCantRenamePrefix, 0) == 0) &&
            (vimbo::platform::fileSystem().exists(processor.scratchPath()) ||
             vimbo::platform::fileSystem().isLink(processor.scratchPath())))
            state.message += "vimbo: " + path + ": the scratch file is " + processor.scratchPath() +
                             "; look at what it holds, then remove it\n";
    } else {
        state.rewritten = result != 0;
    }
    return state;
}

// Hands out whole directories, so that no two files of one directory (which
// share the scratch file's name) are in flight at once, and reports each
// file's messages in the order of the list, whatever order they finish in.
class Scheduler {
public:
    Scheduler(const std::vector<std::string>& files, std::vector<FileState>& states, bool showProgress)
        : files_(files), states_(states), finished_(files.size(), false), progress_(showProgress ? files.size() : 0) {
        std::map<std::string, std::size_t> groupOf;
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::error_code error;
            const fs::path directory = fs::absolute(fs::path(directoryOf(files[i]) + "."), error).lexically_normal();
            auto [at, added] = groupOf.emplace(directory.generic_string(), groups_.size());
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

    void finish(std::size_t index, FileState state) {
        std::lock_guard<std::mutex> hold(lock_);
        states_[index] = std::move(state);
        finished_[index] = true;
        while (reported_ < files_.size() && finished_[reported_]) std::cerr << states_[reported_++].message;
        progress_.done(++done_);
    }

    // Messages of files that finished after one that never began (a run cut short).
    void flush() {
        std::lock_guard<std::mutex> hold(lock_);
        for (; reported_ < files_.size(); ++reported_)
            if (finished_[reported_]) std::cerr << states_[reported_].message;
    }

private:
    const std::vector<std::string>& files_;
    std::vector<FileState>& states_;
    std::vector<bool> finished_;
    std::vector<std::vector<std::size_t>> groups_;
    std::size_t nextGroup_ = 0, reported_ = 0, done_ = 0;
    std::mutex lock_;
    Progress progress_;
};

void rewriteAll(const BatchSettings& settings, const std::vector<std::string>& files, std::vector<FileState>& states) {
    // Every header is read once for the whole run (again only once it changed).
    vimbo::analysis::HeaderCache headers;
    BackupClaims backups;
    Scheduler scheduler(files, states, settings.treeMode);
    const auto work = [&] {
        std::vector<std::size_t> group;
        while (scheduler.next(group)) {
            KeptScratch scratch;  // one directory's, shared by its files
            for (std::size_t i : group) {
                // After a signal no file is begun; the ones begun are finished.
                if (Interruption::signal()) break;
                scheduler.finish(i, rewriteFile(settings, files[i], headers, backups, scratch));
            }
            releaseScratch(scratch);
            if (Interruption::signal()) return;
        }
    };
    unsigned jobs = settings.jobs ? settings.jobs : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    scheduler.flush();
}

// Every wrong external guard on standard output, in the order of the list;
// the counts on standard error, as for the other dry runs.
int reportAudit(const BatchSettings& settings, const std::vector<std::string>& files,
                const std::vector<SkippedFile>& skipped, int walkErrors) {
    std::vector<FileState> states(files.size());
    Interruption interruption;
    rewriteAll(settings, files, states);
    const int signal = Interruption::signal();
    std::size_t examined = 0, failed = 0, wrong = 0, wrongFiles = 0;
    for (const FileState& state : states) {
        if (state.examined) ++examined;
        if (state.failed) ++failed;
        if (state.wrongWrappers) ++wrongFiles;
        wrong += state.wrongWrappers;
        std::cout << state.findings;
    }
    std::cout.flush();
    std::cerr << "vimbo: " << (signal ? "interrupted: " : "") << examined << " files examined, " << wrong
              << " wrong external guards in " << wrongFiles << " files, " << skipped.size() << " skipped, " << failed
              << " failed\n";
    std::cerr.flush();
    if (signal) return 128 + signal;
    if (failed > 0 || walkErrors > 0) return 2;
    return wrong > 0 ? 1 : 0;
}

}  // namespace

int runBatch(const BatchSettings& settings, const std::vector<std::string>& files,
             const std::vector<SkippedFile>& skipped, int walkErrors) {
    for (const SkippedFile& file : skipped) std::cerr << "vimbo: " << file.path << ": skipped (" << file.reason << ")\n";

    if (settings.mode == BatchMode::audit) return reportAudit(settings, files, skipped, walkErrors);
    const bool rewriting = settings.mode == BatchMode::rewrite;
    std::vector<FileState> states(files.size());
    std::unique_ptr<vimbo::platform::MemoryOverlay> overlay;
    if (!rewriting) overlay = std::make_unique<vimbo::platform::MemoryOverlay>();
    Interruption interruption;
    rewriteAll(settings, files, states);
    const int signal = Interruption::signal();

    std::size_t changed = 0, failed = 0, examined = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (states[i].examined) ++examined;
        if (states[i].failed) ++failed;
        if (states[i].failed || !states[i].rewritten) continue;
        ++changed;
        if (settings.dryRunTexts) {
            const auto* entry = overlay->changed(files[i]);
            settings.dryRunTexts->emplace_back(files[i], entry ? entry->content : "");
        }
        if (settings.mode == BatchMode::check) {
            std::cout << files[i] << "\n";
        } else if (settings.mode == BatchMode::diff) {
            const auto* entry = overlay->changed(files[i]);
            std::cout << unifiedDiff(files[i], readBytes(files[i]), entry ? entry->content : "");
        }
    }
    overlay.reset();
    std::cout.flush();

    std::ostream& report = rewriting ? std::cout : std::cerr;
    report << "vimbo: " << (signal ? "interrupted: " : "") << examined << " files examined, " << changed
           << (rewriting ? " rewritten, " : " would be rewritten, ") << skipped.size() << " skipped, " << failed
           << " failed\n";
    report.flush();

    if (signal) return 128 + signal;
    const bool error = failed > 0 || walkErrors > 0;
    if (rewriting) return error ? 1 : 0;
    if (error) return 2;
    return changed > 0 ? 1 : 0;
}

}  // namespace vimbo::cli
