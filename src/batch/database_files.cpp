#include "batch/database_files.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "project/git_ignore.h"
#include "vimbo/engine/included_files.h"
#include "vimbo/engine/paths.h"

namespace fs = std::filesystem;

namespace vimbo::batch {

using namespace vimbo::project;
namespace {

// The path from the current directory, or "" when it lies outside.
std::string insideProject(const fs::path& current, const std::string& path) {
    std::error_code error;
    const fs::path relative = fs::absolute(path, error).lexically_normal().lexically_relative(current);
    if (error || relative.empty() || *relative.begin() == "..") return "";
    return relative.generic_string();
}

}  // namespace

DatabaseFiles databaseFiles(const CompileDatabase& database, const RunLookups& lookups, bool gitIgnore,
                            std::uint64_t maxFileSize, const std::string& buildDirectory) {
    DatabaseFiles result;
    std::error_code error;
    const fs::path current = fs::current_path(error);
    // Through links, so that a compile_commands.json linked from the top still
    // names the build directory it lies in.
    std::string generatedIn;
    if (!buildDirectory.empty()) {
        const fs::path real = fs::weakly_canonical(buildDirectory, error);
        const fs::path here = fs::weakly_canonical(current, error);
        const std::string inside = error ? "" : insideProject(here, real.string());
        if (!inside.empty() && inside != ".") generatedIn = inside + "/";
    }
    std::set<std::string> taken, sources;
    for (const CompileEntry& entry : database.entries()) {
        if (!sources.insert(entry.file).second) continue;
        if (!vimbo::engine::pathExists(entry.file)) {
            result.missing.push_back(entry.file);
            continue;
        }
        const std::string source = insideProject(current, entry.file);
        if (source.empty()) {
            ++result.outside;
            continue;
        }
        // The unit's headers, one include after another, as far as they stay
        // inside the project (the system's headers are not the project's to change).
        const vimbo::engine::Lookup lookup = lookups.lookupsFor(entry.file, false).first;
        std::vector<std::string> pending{source};
        taken.insert(source);
        while (!pending.empty()) {
            const std::string file = pending.back();
            pending.pop_back();
            for (const std::string& header : vimbo::engine::includedFiles(file, lookup, maxFileSize)) {
                const std::string inside = insideProject(current, header);
                if (!inside.empty() && taken.insert(inside).second) pending.push_back(inside);
            }
        }
    }
    result.files.assign(taken.begin(), taken.end());
    if (!generatedIn.empty()) {
        const auto generated = [&](const std::string& file) { return file.compare(0, generatedIn.size(), generatedIn) == 0; };
        const auto end = std::remove_if(result.files.begin(), result.files.end(), generated);
        result.generated = static_cast<std::size_t>(result.files.end() - end);
        result.files.erase(end, result.files.end());
    }
    if (gitIgnore) {
        const IgnoredFiles ignored = gitIgnored(".", result.files);
        result.gitProblem = ignored.problem;
        result.files.erase(std::remove_if(result.files.begin(), result.files.end(),
                                          [&](const std::string& file) {
                                              return std::binary_search(ignored.files.begin(), ignored.files.end(),
                                                                        file);
                                          }),
                           result.files.end());
    }
    return result;
}

}  // namespace vimbo::batch
