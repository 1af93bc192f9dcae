// libgit2's functions, loaded from the library when git is first asked: a
// run over files named one by one (a pre-commit hook's) never loads it.
// Each name here is a pointer that hides libgit2's own declaration inside
// vimbo::project, so the code that asks git reads as libgit2's examples do;
// being a variable, it also keeps argument-dependent lookup from finding
// the declaration it hides.
#pragma once

#include <git2.h>
#include <git2/sys/repository.h>

#include <string>

#define VIMBO_LIBGIT2_FUNCTIONS(X)                                                                              \
    X(git_libgit2_init) X(git_libgit2_shutdown) X(git_libgit2_opts) X(git_error_last) X(git_error_clear)        \
    X(git_config_open_default) X(git_config_get_multivar_foreach) X(git_config_free)                            \
    X(git_repository_open_ext) X(git_repository_free) X(git_repository_index) X(git_repository_is_bare)         \
    X(git_repository_workdir) X(git_repository_set_workdir) X(git_repository_set_index)                         \
    X(git_index_open) X(git_index_free) X(git_index_find) X(git_index_get_bypath) X(git_index_has_conflicts)     \
    X(git_ignore_path_is_ignored) X(git_revparse) X(git_revparse_single) X(git_merge_base)                      \
    X(git_object_lookup) X(git_object_peel) X(git_object_id) X(git_object_free) X(git_tree_free)                \
    X(git_blob_lookup) X(git_blob_rawcontent) X(git_blob_rawsize) X(git_blob_free)                              \
    X(git_diff_options_init) X(git_diff_index_to_workdir) X(git_diff_tree_to_tree) X(git_diff_tree_to_index)    \
    X(git_diff_tree_to_workdir_with_index) X(git_diff_num_deltas) X(git_diff_get_delta) X(git_diff_free)        \
    X(git_patch_from_diff) X(git_patch_num_hunks) X(git_patch_get_hunk) X(git_patch_free)

namespace vimbo::project {

#define VIMBO_LIBGIT2_POINTER(name) inline decltype(&::name) name = nullptr;
VIMBO_LIBGIT2_FUNCTIONS(VIMBO_LIBGIT2_POINTER)
#undef VIMBO_LIBGIT2_POINTER

// Loads the library and every function above, once for the process; false,
// with `problem` saying why, when the library or one of them is missing.
bool loadLibgit2(std::string& problem);

}  // namespace vimbo::project
