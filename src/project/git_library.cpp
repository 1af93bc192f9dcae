// git's answers through libgit2. The library reads the repository's files
// itself: it runs no hook, fsmonitor, filter driver, external diff, textconv
// or pager, whatever the configuration says, and refuses a repository
// another user owns (GIT_EOWNER) unless safe.directory trusts it.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "project/git_access.h"
#include "project/git_repository_files.h"
#include "project/libgit2_functions.h"

namespace fs = std::filesystem;

namespace vimbo::project {
namespace {

// One use of the library: it counts its users.
struct Library {
    Library() {
        if (!loadLibgit2(problem)) return;
        loaded = true;
        git_libgit2_init();
        git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 1);
        // Repositories git marks with these (a partial clone, a sparse
        // checkout's per-worktree settings) read the same for what is asked
        // here: object ids, the index and the ignore rules, no object's content.
        const char* extensions[] = {"partialclone", "worktreeconfig", "preciousobjects"};
        git_libgit2_opts(GIT_OPT_SET_EXTENSIONS, extensions, sizeof extensions / sizeof *extensions);
    }
    ~Library() {
        if (loaded) git_libgit2_shutdown();
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool loaded = false;
    std::string problem;  // why it isn't
};

template <typename T, void (*&Free)(T*)>
struct Owned {
    T* value = nullptr;
    ~Owned() {
        if (value) Free(value);
    }
};
using Repository = Owned<git_repository, git_repository_free>;
using Index = Owned<git_index, git_index_free>;
using Object = Owned<git_object, git_object_free>;
using Tree = Owned<git_tree, git_tree_free>;
using Diff = Owned<git_diff, git_diff_free>;

std::string lastError(const char* what) {
    const git_error* error = git_error_last();
    return std::string(what) + (error && error->message ? std::string(": ") + error->message : "");
}

GitAnswer failure(int code, const char* what) {
    if (code == GIT_EOWNER) return {GitStatus::refused, lastError(what)};
    return {GitStatus::failed, lastError(what)};
}

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Whether the user's own configuration (the system's, the global one;
// never a repository's) trusts every directory: "safe.directory = *", which
// git knows and libgit2 1.5 does not. An empty value starts the list anew.
bool everyDirectorySafe() {
    Owned<git_config, git_config_free> config;
    if (git_config_open_default(&config.value) < 0) return false;
    bool every = false;
    git_config_get_multivar_foreach(
        config.value, "safe.directory", nullptr,
        [](const git_config_entry* entry, void* payload) {
            const std::string value = entry->value ? entry->value : "";
            if (value == "*" || value.empty()) *static_cast<bool*>(payload) = value == "*";
            return 0;
        },
        &every);
    git_error_clear();
    return every;
}

// Opens a repository with the owner check off (the setting is the
// process's: no other thread asks git meanwhile).
int openUnchecked(Repository& repository, const std::string& from, unsigned flags, const char* ceiling) {
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    const int opened = git_repository_open_ext(&repository.value, from.c_str(), flags, ceiling);
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 1);
    return opened;
}

// The repository `start` lies in, found as git finds it, with what git's
// environment names (a hook runs with GIT_DIR and GIT_INDEX_FILE set).
GitAnswer open(const std::string& start, Repository& repository) {
    const char* gitDirectory = environment("GIT_DIR");
    const bool here = start == "." || start.empty();
    const std::string from = here && gitDirectory ? gitDirectory : start;
    const unsigned flags = here && gitDirectory ? GIT_REPOSITORY_OPEN_NO_SEARCH : 0;
    const char* ceiling = environment("GIT_CEILING_DIRECTORIES");
    if (std::string problem = unreadableRepositoryFile(from, here && gitDirectory ? gitDirectory : nullptr);
        !problem.empty())
        return {GitStatus::failed, problem};
    int opened = git_repository_open_ext(&repository.value, from.c_str(), flags, ceiling);
    bool refused = opened == GIT_EOWNER;
    if (opened == GIT_ENOTFOUND) {
        // libgit2 1.5 says "not found" for a repository another user owns
        // when no safe.directory is set at all: one it opens without the
        // owner check is one it refused.
        Repository probe;
        if (openUnchecked(probe, from, flags, ceiling) < 0) return {GitStatus::noWorkTree, ""};
        refused = true;
    }
    if (refused) {
        if (!everyDirectorySafe()) return {GitStatus::refused, "the repository is not owned by the current user"};
        opened = openUnchecked(repository, from, flags, ceiling);
    }
    if (opened < 0) return failure(opened, "can't open the repository");
    if (git_repository_is_bare(repository.value)) return {GitStatus::noWorkTree, ""};
    if (const char* workTree = environment("GIT_WORK_TREE"); workTree && here) {
        if (git_repository_set_workdir(repository.value, workTree, 0) < 0)
            return {GitStatus::failed, lastError("GIT_WORK_TREE")};
    }
    if (const char* indexFile = environment("GIT_INDEX_FILE")) {
        // A relative name is from the top of the work tree, as git reads it.
        const fs::path named(indexFile);
        const std::string path = named.is_relative() && git_repository_workdir(repository.value)
                                     ? (fs::path(git_repository_workdir(repository.value)) / named).string()
                                     : named.string();
        Index index;
        if (git_index_open(&index.value, path.c_str()) < 0 || git_repository_set_index(repository.value, index.value) < 0)
            return {GitStatus::failed, lastError("GIT_INDEX_FILE")};
    }
    return {};
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

GitAnswer ignoredFiles(const std::string& root, const std::vector<std::string>& files,
                       std::vector<std::string>& ignored) {
    Library library;
    if (!library.loaded) return {GitStatus::failed, library.problem};
    Repository repository;
    if (GitAnswer opened = open(root, repository); opened.status != GitStatus::answered) return opened;
    Index index;
    if (int code = git_repository_index(&index.value, repository.value); code < 0)
        return failure(code, "can't read the index");
    // The library names the work tree with its links resolved.
    std::error_code error;
    const fs::path top = fs::path(withoutTrailingSlash(git_repository_workdir(repository.value)));
    const fs::path base = fs::weakly_canonical(fs::absolute(root.empty() ? "." : root, error), error);
    if (error) return {GitStatus::failed, root + ": " + error.message()};
    // As git: nothing under an ignored directory can be taken back by a "!"
    // rule below it; a submodule's files (or those of a repository inside
    // this one) are none of this repository's. Each directory is asked once.
    enum class Place { plain, excluded, otherRepository };
    std::map<std::string, Place> directories{{"", Place::plain}};
    std::string problem = unreadableDirectoryFile(top.string());
    if (!problem.empty()) return {GitStatus::failed, problem};
    const std::function<Place(const std::string&)> placeOf = [&](const std::string& directory) {
        const auto known = directories.find(directory);
        if (known != directories.end()) return known->second;
        const std::size_t slash = directory.rfind('/');
        Place place = placeOf(slash == std::string::npos ? "" : directory.substr(0, slash));
        if (place == Place::plain && problem.empty()) problem = unreadableDirectoryFile((top / directory).string());
        if (place == Place::plain && problem.empty()) {
            const git_index_entry* entry = git_index_get_bypath(index.value, directory.c_str(), 0);
            int answer = 0;
            std::error_code missing;
            if ((entry && entry->mode == GIT_FILEMODE_COMMIT) || fs::exists(top / directory / ".git", missing))
                place = Place::otherRepository;
            else if (git_ignore_path_is_ignored(&answer, repository.value, (directory + "/").c_str()) < 0)
                problem = lastError("can't read the ignore rules");
            else if (answer == 1)
                place = Place::excluded;
        }
        directories.emplace(directory, place);
        return place;
    };
    for (const std::string& file : files) {
        const fs::path relative = (base / file).lexically_normal().lexically_relative(top);
        const std::string name = relative.generic_string();
        // Outside the work tree no rule of it applies.
        if (name.empty() || *relative.begin() == "..") continue;
        std::size_t position = 0;
        if (git_index_find(&position, index.value, name.c_str()) == 0) continue;
        const std::size_t slash = name.rfind('/');
        const Place place = placeOf(slash == std::string::npos ? "" : name.substr(0, slash));
        if (!problem.empty()) return {GitStatus::failed, problem};
        int answer = place == Place::excluded ? 1 : 0;
        if (place == Place::plain && git_ignore_path_is_ignored(&answer, repository.value, name.c_str()) < 0)
            problem = lastError("can't read the ignore rules");
        if (!problem.empty()) return {GitStatus::failed, problem};
        if (answer == 1) ignored.push_back(file);
    }
    return {};
}

GitAnswer treeOf(const git_object* object, Tree& tree) {
    Object peeled;
    if (int code = git_object_peel(&peeled.value, object, GIT_OBJECT_TREE); code < 0)
        return failure(code, "not a commit or tree");
    tree.value = reinterpret_cast<git_tree*>(peeled.value);
    peeled.value = nullptr;
    return {};
}

GitAnswer headTree(git_repository* repository, Tree& tree) {
    Object head;
    const int code = git_revparse_single(&head.value, repository, "HEAD");
    // A branch without a commit yet: everything in the index is new.
    if (code == GIT_ENOTFOUND || code == GIT_EUNBORNBRANCH) return {};
    if (code < 0) return failure(code, "HEAD");
    return treeOf(head.value, tree);
}

// The trees to compare for REVISION: one (against the index or the work
// tree), or the two ends of a range.
GitAnswer treesOf(git_repository* repository, const std::string& revision, bool staged, Tree& from, Tree& to,
                  bool& range) {
    range = false;
    if (revision.empty()) return headTree(repository, from);
    git_revspec spec{};
    if (int code = git_revparse(&spec, repository, revision.c_str()); code < 0) return failure(code, "unknown revision");
    Object left, right;
    left.value = spec.from;
    right.value = spec.to;
    if (spec.flags & GIT_REVSPEC_SINGLE) return treeOf(left.value, from);
    range = true;
    if (staged) return {GitStatus::failed, "--staged takes one revision, not a range"};
    if (!left.value || !right.value) return {GitStatus::failed, "a range needs both ends"};
    if (spec.flags & GIT_REVSPEC_MERGE_BASE) {
        // A...B: from where the two parted to B, as git diff reads it.
        git_oid base;
        if (int code = git_merge_base(&base, repository, git_object_id(left.value), git_object_id(right.value)); code < 0)
            return failure(code, "no merge base");
        Object commit;
        if (int code = git_object_lookup(&commit.value, repository, &base, GIT_OBJECT_ANY); code < 0)
            return failure(code, "merge base");
        if (GitAnswer answer = treeOf(commit.value, from); answer.status != GitStatus::answered) return answer;
    } else if (GitAnswer answer = treeOf(left.value, from); answer.status != GitStatus::answered) {
        return answer;
    }
    return treeOf(right.value, to);
}

// The lines of the newer text a delta adds or changes, from its hunks
// without context (a hunk that only takes lines away marks none).
GitAnswer addedLines(git_diff* diff, std::size_t delta, vimbo::engine::LineRanges& ranges) {
    git_patch* made = nullptr;
    if (int code = git_patch_from_diff(&made, diff, delta); code < 0) return failure(code, "can't compare the lines");
    const std::unique_ptr<git_patch, void (*)(git_patch*)> patch(made, git_patch_free);
    if (!patch) return {};  // binary or unchanged text: no lines
    for (std::size_t i = 0, hunks = git_patch_num_hunks(patch.get()); i < hunks; ++i) {
        const git_diff_hunk* hunk = nullptr;
        std::size_t count = 0;
        if (int code = git_patch_get_hunk(&hunk, &count, patch.get(), i); code < 0)
            return failure(code, "can't compare the lines");
        if (hunk->new_lines > 0)
            ranges.emplace_back(static_cast<std::size_t>(hunk->new_start),
                                static_cast<std::size_t>(hunk->new_start) + hunk->new_lines - 1);
    }
    return {};
}

// Whether an index entry is one `git add -N` made: no text of a commit's.
bool intentToAdd(const git_index_entry* entry) {
    return entry && (entry->flags_extended & GIT_INDEX_ENTRY_INTENT_TO_ADD) != 0;
}

GitAnswer changedFiles(const std::string& revision, bool staged, std::string& top, std::vector<std::string>& names,
                       std::vector<vimbo::engine::LineRanges>* lines) {
    Library library;
    if (!library.loaded) return {GitStatus::failed, library.problem};
    Repository repository;
    if (GitAnswer opened = open(".", repository); opened.status != GitStatus::answered) return opened;
    top = withoutTrailingSlash(git_repository_workdir(repository.value));
    if (std::string problem = unreadableDirectoryFile(top); !problem.empty()) return {GitStatus::failed, problem};
    Tree from, to;
    bool range = false;
    if (GitAnswer trees = treesOf(repository.value, revision, staged, from, to, range); trees.status != GitStatus::answered)
        return trees;
    Index index;
    if (int code = git_repository_index(&index.value, repository.value); code < 0)
        return failure(code, "can't read the index");
    // Through libgit2's own initialiser: its macro leaves fields to be zeroed,
    // which clang's -Wextra takes for a mistake.
    git_diff_options options;
    if (git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION) != 0) return {GitStatus::failed, "can't set up git's diff"};
    // A type change (a file become a link) is no change git's ACMR names;
    // submodules are no files to rewrite.
    options.flags = GIT_DIFF_INCLUDE_TYPECHANGE | GIT_DIFF_IGNORE_SUBMODULES;
    // Changed lines as git diff -U0 tells them.
    options.context_lines = 0;
    options.interhunk_lines = 0;
    Diff diff;
    int code = 0;
    if (revision.empty() && !staged)
        // No revision: the work tree against the index, as git diff compares them.
        code = git_diff_index_to_workdir(&diff.value, repository.value, nullptr, &options);
    else if (range)
        code = git_diff_tree_to_tree(&diff.value, repository.value, from.value, to.value, &options);
    else if (staged)
        code = git_diff_tree_to_index(&diff.value, repository.value, from.value, index.value, &options);
    else
        code = git_diff_tree_to_workdir_with_index(&diff.value, repository.value, from.value, &options);
    if (code < 0) return failure(code, "can't compare");
    const std::size_t count = git_diff_num_deltas(diff.value);
    for (std::size_t i = 0; i < count; ++i) {
        const git_diff_delta* delta = git_diff_get_delta(diff.value, i);
        const bool wanted = delta->status == GIT_DELTA_ADDED || delta->status == GIT_DELTA_COPIED ||
                            delta->status == GIT_DELTA_MODIFIED || delta->status == GIT_DELTA_RENAMED;
        if (!wanted || delta->new_file.mode == GIT_FILEMODE_COMMIT) continue;
        // `git add -N` stages no text: git diff --cached names no such file.
        if (staged && intentToAdd(git_index_get_bypath(index.value, delta->new_file.path, 0))) continue;
        names.push_back(delta->new_file.path);
        if (!lines) continue;
        lines->emplace_back();
        if (GitAnswer read = addedLines(diff.value, i, lines->back()); read.status != GitStatus::answered) return read;
    }
    return {};
}

// The index's text of each file as a commit stores it (no line-end filter:
// a patch of it applies to the index).
GitAnswer indexTexts(const std::vector<std::string>& files, std::vector<std::optional<std::string>>& texts) {
    Library library;
    if (!library.loaded) return {GitStatus::failed, library.problem};
    Repository repository;
    if (GitAnswer opened = open(".", repository); opened.status != GitStatus::answered) return opened;
    Index index;
    if (int code = git_repository_index(&index.value, repository.value); code < 0)
        return failure(code, "can't read the index");
    std::error_code error;
    const fs::path top = fs::path(withoutTrailingSlash(git_repository_workdir(repository.value)));
    for (const std::string& file : files) {
        // The directory's links resolved, not the file's: a file the work
        // tree holds as a link is the index's file of that name.
        const fs::path absolute = fs::absolute(file, error).lexically_normal();
        const std::string name = (fs::weakly_canonical(absolute.parent_path(), error) / absolute.filename())
                                     .lexically_relative(top)
                                     .generic_string();
        const git_index_entry* entry = error ? nullptr : git_index_get_bypath(index.value, name.c_str(), 0);
        if (!entry || intentToAdd(entry) || entry->mode == GIT_FILEMODE_COMMIT || entry->mode == GIT_FILEMODE_LINK) {
            texts.emplace_back();
            continue;
        }
        Owned<git_blob, git_blob_free> blob;
        if (int code = git_blob_lookup(&blob.value, repository.value, &entry->id); code < 0)
            return failure(code, (file + ": the staged text can't be read").c_str());
        texts.emplace_back(std::string(static_cast<const char*>(git_blob_rawcontent(blob.value)),
                                       static_cast<std::size_t>(git_blob_rawsize(blob.value))));
    }
    return {};
}

// The files whose work tree differs from the index: changed, deleted, of
// another type; a conflict unresolved is refused.
GitAnswer unlikeIndex(std::string& top, std::vector<std::string>& names) {
    Library library;
    if (!library.loaded) return {GitStatus::failed, library.problem};
    Repository repository;
    if (GitAnswer opened = open(".", repository); opened.status != GitStatus::answered) return opened;
    top = withoutTrailingSlash(git_repository_workdir(repository.value));
    Index index;
    if (int code = git_repository_index(&index.value, repository.value); code < 0)
        return failure(code, "can't read the index");
    if (git_index_has_conflicts(index.value))
        return {GitStatus::failed, "the index holds conflicts not yet resolved; resolve them (git status) first"};
    git_diff_options options;
    if (git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION) != 0) return {GitStatus::failed, "can't set up git's diff"};
    options.flags = GIT_DIFF_INCLUDE_TYPECHANGE | GIT_DIFF_IGNORE_SUBMODULES;
    Diff diff;
    if (int code = git_diff_index_to_workdir(&diff.value, repository.value, index.value, &options); code < 0)
        return failure(code, "can't compare");
    for (std::size_t i = 0, count = git_diff_num_deltas(diff.value); i < count; ++i) {
        const git_diff_delta* delta = git_diff_get_delta(diff.value, i);
        const bool wanted = delta->status == GIT_DELTA_MODIFIED || delta->status == GIT_DELTA_DELETED ||
                            delta->status == GIT_DELTA_TYPECHANGE;
        if (wanted && delta->old_file.mode != GIT_FILEMODE_COMMIT) names.push_back(delta->old_file.path);
    }
    return {};
}

const GitAccess kLibrary{"libgit2", ignoredFiles, changedFiles, indexTexts, unlikeIndex};

}  // namespace

const GitAccess& gitAccess() { return kLibrary; }

}  // namespace vimbo::project
