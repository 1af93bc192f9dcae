#include "batch_run.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "analysis/header_cache.h"
#include "analysis/search_path.h"
#include "interface/vimbo.h"
#include "platform/memory_overlay.h"
#include "progress.h"
#include "unified_diff.h"

namespace fs = std::filesystem;

namespace vimbo::cli {
namespace {

// Passes over a tree stop once one changes nothing; this bounds a tree whose
// headers keep changing one another's guards.
constexpr int kMaxPasses = 8;

struct FileState {
    bool failed = false;
    bool rewritten = false;
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

// One file, one pass; true when the file was rewritten.
bool rewriteOnce(const BatchSettings& settings, const std::string& path, const fs::path& start, FileState& state,
                 vimbo::analysis::HeaderCache& headers) {
    std::string name = path;
    std::string searchPath = settings.includePath, quotePath;
    if (settings.database) {
        const IncludeDirectories& directories = settings.database->directoriesFor((start / path).string());
        std::string fromBuild;
        for (const std::string& entry : directories.search) fromBuild += entry + ";";
        for (const std::string& entry : directories.quoted) quotePath += (quotePath.empty() ? "" : ";") + entry;
        searchPath = fromBuild + searchPath;
        if (!searchPath.empty() && searchPath.back() == ';') searchPath.pop_back();
    }
    if (settings.treeMode) {
        const fs::path file(path);
        std::error_code error;
        fs::current_path(start / file.parent_path(), error);
        if (error) {
            state.failed = true;
            std::cerr << "vimbo: " << path << ": " << error.message() << "\n";
            return false;
        }
        name = file.filename().string();
    }
    Vimbo_Params params(name);
    params.setIncludePath(searchPath);
    // The .Bak keeps the text from before the first pass that rewrote the file.
    if (settings.backup && !state.rewritten) params.setBackup();
    Vimbo processor(&params);
    processor.setPrintMessages(false);
    processor.shareHeaderCache(&headers);
    processor.lookUpLikeCompiler(true);
    processor.setQuotePath(quotePath);
    for (const std::string& name : settings.precompiledHeaders) processor.addPrecompiledHeader(name);
    const int result = processor.processFile();
    if (processor.failed()) {
        state.failed = true;
        std::cerr << "vimbo: " << path << ": " << withoutLineBreak(processor.lastMessage()) << "\n";
        return false;
    }
    if (result) state.rewritten = true;
    return result != 0;
}

void rewriteAll(const BatchSettings& settings, const std::vector<std::string>& files,
                std::vector<FileState>& states) {
    const fs::path start = fs::current_path();
    // Every header is read once for the whole walk (again only once it changed).
    vimbo::analysis::HeaderCache headers;
    for (int pass = 1; pass <= kMaxPasses; ++pass) {
        bool changed = false;
        Progress progress(settings.treeMode ? files.size() : 0);
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!states[i].failed && rewriteOnce(settings, files[i], start, states[i], headers)) changed = true;
            progress.done(i + 1);
        }
        fs::current_path(start);
        if (!settings.treeMode || !changed) break;
    }
}

}  // namespace

std::string absoluteSearchPath(const std::string& searchPath) {
    const std::string base = fs::current_path().string();
    std::string result;
    for (const std::string& entry : vimbo::analysis::searchPathEntries(searchPath)) {
        if (!result.empty()) result += ';';
        result += vimbo::analysis::isAbsolutePath(entry) ? entry : base + "\\" + entry;
    }
    return result;
}

int runBatch(const BatchSettings& settings, const std::vector<std::string>& files,
             const std::vector<SkippedFile>& skipped, int walkErrors) {
    for (const SkippedFile& file : skipped) std::cerr << "vimbo: " << file.path << ": skipped (" << file.reason << ")\n";

    const bool rewriting = settings.mode == BatchMode::rewrite;
    std::vector<FileState> states(files.size());
    std::unique_ptr<vimbo::platform::MemoryOverlay> overlay;
    if (!rewriting) overlay = std::make_unique<vimbo::platform::MemoryOverlay>();
    rewriteAll(settings, files, states);

    std::size_t changed = 0, failed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (states[i].failed) ++failed;
        if (states[i].failed || !states[i].rewritten) continue;
        ++changed;
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
    report << "vimbo: " << files.size() << " files examined, " << changed
           << (rewriting ? " rewritten, " : " would be rewritten, ") << skipped.size() << " skipped, " << failed
           << " failed\n";
    report.flush();

    const bool error = failed > 0 || walkErrors > 0;
    if (rewriting) return error ? 1 : 0;
    if (error) return 2;
    return changed > 0 ? 1 : 0;
}

}  // namespace vimbo::cli
