// git's answers from the git command, where the build has no libgit2. A
// repository's configuration can make git run programs of its choosing; each
// that the commands asked here could reach is turned off on the command
// line, which wins over every configuration file: core.fsmonitor, the hooks
// directory, the filter drivers the configuration names (their clean
// command runs when git hashes a work-tree file again), external diffs and
// textconv, the pager, and any transport (a partial clone fetching what it
// lacks). A revision is never read as an option: --end-of-options stands
// before it, and -- after it.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "project/git_access.h"
#include "project/git_repository_files.h"
#include "vimbo/engine/child_process.h"

namespace vimbo::project {
namespace {

using vimbo::platform::ChildOutcome;
using vimbo::platform::ChildProcess;

const char* const kTransports[] = {"ext", "file", "ssh", "git", "http", "https"};

// The command with git's own options that keep every program off.
ChildProcess gitCommandFor(const std::string& directory, const std::vector<std::string>& extraSettings,
                           const std::vector<std::string>& command) {
    ChildProcess child;
    child.arguments = {"git", "--no-pager", "-C", directory.empty() ? "." : directory};
    std::vector<std::string> settings = {"core.fsmonitor=false", "core.hooksPath=/dev/null", "core.quotepath=off",
                                         "protocol.allow=never"};
    for (const char* transport : kTransports) settings.push_back(std::string("protocol.") + transport + ".allow=never");
    settings.insert(settings.end(), extraSettings.begin(), extraSettings.end());
    for (const std::string& setting : settings) child.arguments.insert(child.arguments.end(), {"-c", setting});
    child.arguments.insert(child.arguments.end(), command.begin(), command.end());
    // No question on a terminal, no lock taken for the index's sake, and
    // (where git knows it) no fetch of what a partial clone lacks.
    child.environment = {"GIT_TERMINAL_PROMPT=0", "GIT_OPTIONAL_LOCKS=0", "GIT_NO_LAZY_FETCH=1"};
    child.keep = std::string::npos;
    return child;
}

std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const char* prefix : {"fatal: ", "error: "})
        if (line.rfind(prefix, 0) == 0) line.erase(0, std::string(prefix).size());
    return line;
}

// What git's failure means: its words are all there is to tell them apart.
GitAnswer failureOf(const ChildOutcome& outcome, const std::string& directory) {
    if (!outcome.started) {
        // Without git, a tree that is no work tree has no rules; one that is can't be read.
        if (workTreeAbove(directory).empty()) return {GitStatus::noWorkTree, ""};
        return {GitStatus::failed, "can't run git"};
    }
    if (outcome.errors.find("dubious ownership") != std::string::npos)
        return {GitStatus::refused, firstLine(outcome.errors)};
    if (outcome.errors.find("not a git repository") != std::string::npos) return {GitStatus::noWorkTree, ""};
    return {GitStatus::failed, firstLine(outcome.errors)};
}

std::vector<std::string> nulSeparated(const std::string& output) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < output.size();) {
        std::size_t end = output.find('\0', at);
        if (end == std::string::npos) end = output.size();
        if (end > at) names.push_back(output.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

// Whether `directory` is inside a work tree; and its top.
GitAnswer insideWorkTree(const std::string& directory, std::string& top) {
    const char* gitDirectory = std::getenv("GIT_DIR");
    const bool here = directory == "." || directory.empty();
    if (std::string problem = unreadableRepositoryFile(directory, here && gitDirectory && *gitDirectory ? gitDirectory
                                                                                                         : nullptr);
        !problem.empty())
        return {GitStatus::failed, problem};
    const ChildOutcome answer =
        runChild(gitCommandFor(directory, {}, {"rev-parse", "--is-inside-work-tree", "--show-toplevel"}));
    // "false" inside a .git directory or a bare repository, which have no top to show.
    if (answer.output.rfind("false", 0) == 0) return {GitStatus::noWorkTree, ""};
    if (!answer.started || answer.status != 0) return failureOf(answer, directory);
    const std::size_t start = answer.output.find('\n') + 1;
    top = answer.output.substr(start, answer.output.find('\n', start) - start);
    if (!top.empty() && top.back() == '\r') top.pop_back();
    return {};
}

// The ignore files git reads for these files: in each directory from the
// top of the work tree down to each of them (those of directories the run
// has no file in go unseen here).
std::string unreadableIgnoreFiles(const std::string& root, const std::string& top,
                                  const std::vector<std::string>& files) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path base = fs::absolute(root.empty() ? "." : root, error).lexically_normal();
    std::set<fs::path> directories;
    for (fs::path directory = base; !directory.empty() && directories.insert(directory).second;
         directory = directory.parent_path()) {
        if (fs::equivalent(directory, top, error) || directory == directory.parent_path()) break;
    }
    for (const std::string& file : files)
        for (fs::path directory = (base / file).parent_path().lexically_normal();
             directory.string().size() > base.string().size() && directories.insert(directory).second;
             directory = directory.parent_path()) {
        }
    for (const fs::path& directory : directories)
        if (std::string problem = unreadableDirectoryFile(directory.string()); !problem.empty()) return problem;
    return "";
}

GitAnswer ignoredFiles(const std::string& root, const std::vector<std::string>& files,
                       std::vector<std::string>& ignored) {
    std::string top;
    if (GitAnswer inside = insideWorkTree(root, top); inside.status != GitStatus::answered) return inside;
    if (std::string problem = unreadableIgnoreFiles(root, top, files); !problem.empty())
        return {GitStatus::failed, problem};
    // The untracked files git ignores, as "git status --ignored" names them:
    // an ignored directory once, with its "/" (git does not look inside).
    const ChildOutcome answer = runChild(
        gitCommandFor(root, {}, {"ls-files", "-z", "--others", "--ignored", "--exclude-standard", "--directory"}));
    if (answer.status != 0) return failureOf(answer, root);
    std::set<std::string> names, directories;
    for (std::string& name : nulSeparated(answer.output))
        (name.back() == '/' ? directories : names).insert(std::move(name));
    // "./": `root` itself lies in an ignored directory.
    const bool allIgnored = directories.count("./") > 0;
    for (const std::string& file : files) {
        bool inIgnoredDirectory = allIgnored;
        for (std::size_t slash = file.find('/'); slash != std::string::npos && !inIgnoredDirectory;
             slash = file.find('/', slash + 1))
            inIgnoredDirectory = directories.count(file.substr(0, slash + 1)) > 0;
        if (inIgnoredDirectory || names.count(file)) ignored.push_back(file);
    }
    return {};
}

// The filter drivers the configuration names, each with its commands
// emptied (git then runs none) and not required.
std::vector<std::string> filtersOff(std::string& problem) {
    const ChildOutcome answer =
        runChild(gitCommandFor(".", {}, {"config", "-z", "--name-only", "--get-regexp", "^filter\\."}));
    // Exit status 1: no such setting.
    if (answer.status != 0 && answer.status != 1) {
        problem = firstLine(answer.errors);
        return {};
    }
    std::set<std::string> drivers;
    for (const std::string& name : nulSeparated(answer.output)) {
        const std::size_t first = name.find('.'), last = name.rfind('.');
        if (first != std::string::npos && last > first + 1) drivers.insert(name.substr(first + 1, last - first - 1));
    }
    std::vector<std::string> settings;
    for (const std::string& driver : drivers)
        for (const char* key : {".clean=", ".smudge=", ".process=", ".required=false"})
            settings.push_back("filter." + driver + key);
    return settings;
}

GitAnswer changedFiles(const std::string& revision, bool staged, std::string& top, std::vector<std::string>& names,
                       std::vector<vimbo::engine::LineRanges>* lines) {
    if (lines) return {GitStatus::failed, "changed lines are read through git's library (libgit2), which this build lacks"};
    if (GitAnswer inside = insideWorkTree(".", top); inside.status != GitStatus::answered) return inside;
    if (std::string unreadable = unreadableDirectoryFile(top); !unreadable.empty())
        return {GitStatus::failed, unreadable};
    std::string problem;
    const std::vector<std::string> settings = filtersOff(problem);
    if (!problem.empty()) return {GitStatus::failed, problem};
    std::vector<std::string> command{"diff", "--no-ext-diff", "--no-textconv", "--ignore-submodules=all",
                                     "--name-only", "-z", "--no-renames", "--diff-filter=ACMR"};
    if (staged) command.push_back("--cached");
    command.push_back("--end-of-options");
    if (!revision.empty()) command.push_back(revision);
    command.push_back("--");
    const ChildOutcome answer = runChild(gitCommandFor(".", settings, command));
    if (answer.status != 0) return failureOf(answer, ".");
    for (std::string& name : nulSeparated(answer.output)) names.push_back(std::move(name));
    return {};
}

// As `git ls-files -s` (every entry, with its mode) and `git cat-file
// --batch` give it: two programs however many files, with the filter
// drivers off as above.
GitAnswer indexTexts(const std::vector<std::string>& files, std::vector<std::optional<std::string>>& texts) {
    namespace fs = std::filesystem;
    std::string top;
    if (GitAnswer inside = insideWorkTree(".", top); inside.status != GitStatus::answered) return inside;
    std::string problem;
    const std::vector<std::string> settings = filtersOff(problem);
    if (!problem.empty()) return {GitStatus::failed, problem};
    const ChildOutcome listing = runChild(gitCommandFor(".", settings, {"ls-files", "-s", "-z", "--full-name", "--", ":/"}));
    if (listing.status != 0) return failureOf(listing, ".");
    // "MODE OBJECT STAGE\tNAME": the object of each file at stage 0 that
    // is a file (no link, no submodule).
    std::map<std::string, std::string> objects;
    for (const std::string& entry : nulSeparated(listing.output)) {
        const std::size_t space = entry.find(' '), second = entry.find(' ', space + 1), tab = entry.find('\t');
        if (second == std::string::npos || tab == std::string::npos || entry.compare(second + 1, tab - second - 1, "0") != 0)
            continue;
        if (entry.rfind("100", 0) == 0) objects[entry.substr(tab + 1)] = entry.substr(space + 1, second - space - 1);
    }
    std::error_code error;
    const fs::path root = fs::weakly_canonical(fs::path(top), error);
    std::string wanted;
    std::vector<bool> held;
    for (const std::string& file : files) {
        // The directory's links resolved, not the file's own.
        const fs::path absolute = fs::absolute(file, error).lexically_normal();
        const std::string name =
            (fs::weakly_canonical(absolute.parent_path(), error) / absolute.filename()).lexically_relative(root).generic_string();
        const auto found = objects.find(name);
        held.push_back(found != objects.end());
        if (found != objects.end()) wanted += found->second + "\n";
    }
    ChildProcess batch = gitCommandFor(".", settings, {"cat-file", "--batch"});
    batch.input = wanted;
    const ChildOutcome answer = runChild(batch);
    if (answer.status != 0) return failureOf(answer, ".");
    // "OBJECT TYPE SIZE\n", the bytes, "\n"; one for each object asked.
    std::size_t at = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!held[i]) {
            texts.emplace_back();
            continue;
        }
        const std::size_t end = answer.output.find('\n', at);
        const std::size_t space = answer.output.rfind(' ', end);
        if (end == std::string::npos || space == std::string::npos || space < at)
            return {GitStatus::failed, files[i] + ": the staged text can't be read"};
        const std::size_t size = std::strtoull(answer.output.c_str() + space + 1, nullptr, 10);
        if (answer.output.compare(space + 1, end - space - 1, "missing") == 0 || end + 1 + size > answer.output.size())
            return {GitStatus::failed, files[i] + ": the staged text can't be read"};
        texts.emplace_back(answer.output.substr(end + 1, size));
        at = end + 1 + size + 1;
    }
    return {};
}

GitAnswer unlikeIndex(std::string& top, std::vector<std::string>& names) {
    if (GitAnswer inside = insideWorkTree(".", top); inside.status != GitStatus::answered) return inside;
    std::string problem;
    const std::vector<std::string> settings = filtersOff(problem);
    if (!problem.empty()) return {GitStatus::failed, problem};
    const ChildOutcome conflicts = runChild(gitCommandFor(".", settings, {"ls-files", "-u", "-z"}));
    if (conflicts.status != 0) return failureOf(conflicts, ".");
    if (!conflicts.output.empty())
        return {GitStatus::failed, "the index holds conflicts not yet resolved; resolve them (git status) first"};
    const ChildOutcome answer = runChild(gitCommandFor(
        ".", settings,
        {"diff", "--no-ext-diff", "--no-textconv", "--ignore-submodules=all", "--name-only", "-z", "--no-renames",
         "--diff-filter=MDT", "--"}));
    if (answer.status != 0) return failureOf(answer, ".");
    for (std::string& name : nulSeparated(answer.output)) names.push_back(std::move(name));
    return {};
}

const GitAccess kCommand{"git", ignoredFiles, changedFiles, indexTexts, unlikeIndex};

}  // namespace

const GitAccess& gitCommand() { return kCommand; }

}  // namespace vimbo::project
