#include "project/source_tree.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "project/git_ignore.h"
#include "project/path_glob.h"
#include "vimbo/engine/paths.h"

namespace fs = std::filesystem;

namespace vimbo::project {

const std::vector<std::string> kDefaultExtensions = {".c",   ".cc",  ".cpp", ".cxx", ".h",
                                                     ".hh",  ".hpp", ".hxx", ".inl", ".ipp",
                                                     ".tcc", ".tpp"};

namespace {
std::string lowerCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isHidden(const fs::path& directory) {
    const std::string name = directory.filename().string();
    return name.size() > 1 && name[0] == '.' && name != "..";
}

// A regular file to take, or the reason it is skipped ("" to take it).
// `countLinks`: whether a file with several hard links is skipped here.
std::string skipReason(const std::string& name, const fs::file_status& status, bool countLinks) {
    if (!fs::is_regular_file(status)) return "a symbolic link or not a regular file";
    if (!countLinks) return "";
    // The platform layer counts links where the standard library cannot (Windows).
    const std::uint64_t links = vimbo::engine::linkCount(name);
    return links > 1 ? hardLinksReason(links) : "";
}

// An entry's own type (a link's, not its target's) as the directory listing
// gave it: the system is asked only where the listing could not tell.
fs::file_type listedType(const fs::directory_entry& entry, std::error_code& error) {
    if (entry.is_symlink(error)) return fs::file_type::symlink;
    if (!error && entry.is_directory(error)) return fs::file_type::directory;
    if (!error && entry.is_regular_file(error)) return fs::file_type::regular;
    return error ? fs::file_type::none : fs::file_type::unknown;
}

void take(const std::string& name, const fs::file_status& status, bool countLinks, SourceTree& tree) {
    const std::string reason = skipReason(name, status, countLinks);
    if (reason.empty())
        tree.files.push_back(name);
    else
        tree.skipped.push_back({name, reason});
}

void walk(const fs::path& root, const WalkOptions& options, SourceTree& tree) {
    const bool countLinks = !options.breakLinks && !options.linksCountedLater;
    std::error_code error;
    const fs::file_status rootStatus = fs::symlink_status(root, error);
    if (!fs::exists(rootStatus)) {
        tree.errors.push_back(root.generic_string() + ": no such file or directory");
        return;
    }
    // A file named on its own is taken whatever its extension.
    if (!fs::is_directory(fs::status(root, error))) {
        take(root.generic_string(), rootStatus, countLinks, tree);
        return;
    }
    std::vector<std::pair<std::string, fs::file_status>> found;  // path relative to the root, status
    // Each directory as the walk sees it, before anything is written there.
    std::map<std::string, std::size_t> directoryAt;
    const auto noteDirectory = [&](const fs::path& directory) {
        vimbo::engine::DirectoryIdentity identity;
        if (!vimbo::engine::directoryIdentity(directory.string(), identity)) return;
        directoryAt[directory.generic_string()] = tree.directories.size();
        tree.directories.push_back({directory.generic_string(), identity, {}});
    };
    noteDirectory(root);
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        const fs::file_status status(listedType(*it, error));
        if (error) break;
        // A name the engine would read as a path of several parts leads
        // elsewhere (outside the tree): it is never taken.
        if (!vimbo::engine::nameFitsPaths(path.filename().string())) {
            if (fs::is_directory(status)) it.disable_recursion_pending();
            if (fs::is_directory(status) || hasSourceExtension(path.string(), options.extensions))
                tree.skipped.push_back({path.generic_string(), "a name with \\, which paths here take for a separator"});
            continue;
        }
        if (fs::is_directory(status)) {
            if (isHidden(path)) it.disable_recursion_pending();
            else noteDirectory(path);
            continue;
        }
        // What a run cut short left: the run looks at it before it writes there.
        if (vimbo::engine::isScratchFileName(path.filename().string())) {
            const auto directory = directoryAt.find(path.parent_path().generic_string());
            if (directory != directoryAt.end())
                tree.directories[directory->second].leftovers.push_back(path.filename().string());
            continue;
        }
        const std::string relative = path.lexically_relative(root).generic_string();
        const bool wanted = options.accepts ? options.accepts(path.generic_string(), relative)
                                            : hasSourceExtension(path.string(), options.extensions) &&
                                                  !excludedByPatterns(options.exclusions, relative);
        if (wanted) found.emplace_back(relative, status);
    }
    IgnoredFiles ignored;
    if (options.gitIgnore && !error) {
        std::vector<std::string> names;
        for (const auto& entry : found) names.push_back(entry.first);
        ignored = gitIgnored(root.string(), names);
        if (!ignored.problem.empty() &&
            std::find(tree.gitProblems.begin(), tree.gitProblems.end(), ignored.problem) == tree.gitProblems.end())
            tree.gitProblems.push_back(ignored.problem);
    }
    for (const auto& [relative, status] : found)
        if (!std::binary_search(ignored.files.begin(), ignored.files.end(), relative))
            take((root / relative).generic_string(), status, countLinks, tree);
    if (error) tree.errors.push_back(root.generic_string() + ": " + error.message());
}
}  // namespace

std::string hardLinksReason(std::uint64_t links) {
    return std::to_string(links) + " hard links; --break-links rewrites it apart from them";
}

}  // namespace vimbo::project

namespace vimbo::engine {

bool hasSourceExtension(const std::string& path, const std::vector<std::string>& extensions) {
    using vimbo::project::lowerCaseAscii;
    const std::string extension = lowerCaseAscii(fs::path(path).extension().string());
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const std::string& wanted) { return lowerCaseAscii(wanted) == extension; });
}

}  // namespace vimbo::engine

namespace vimbo::project {

SourceTree findSources(const std::vector<std::string>& roots, const WalkOptions& options) {
    SourceTree tree;
    for (const std::string& root : roots) walk(root, options, tree);
    std::sort(tree.files.begin(), tree.files.end());
    tree.files.erase(std::unique(tree.files.begin(), tree.files.end()), tree.files.end());
    std::sort(tree.skipped.begin(), tree.skipped.end());
    return tree;
}

void noteDirectoriesOf(const std::vector<std::string>& files, SourceTree& tree) {
    std::set<std::string> noted;
    for (const WalkedDirectory& directory : tree.directories) noted.insert(directory.path);
    for (const std::string& file : files) {
        const std::size_t slash = file.find_last_of("/\\");
        const std::string path = slash == std::string::npos ? "." : slash == 0 ? file.substr(0, 1) : file.substr(0, slash);
        if (!noted.insert(path).second) continue;
        WalkedDirectory directory{path, {}, {}};
        if (!vimbo::engine::directoryIdentity(path, directory.identity)) continue;
        std::error_code error;
        for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (vimbo::engine::isScratchFileName(name)) directory.leftovers.push_back(name);
        }
        std::sort(directory.leftovers.begin(), directory.leftovers.end());
        tree.directories.push_back(std::move(directory));
    }
}

}  // namespace vimbo::project
