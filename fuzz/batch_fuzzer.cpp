// Arbitrary bytes as a small project, rewritten in process by the batch
// engine with the compiler's rules along the search path alone (no compiler
// is run). The input is a flags byte, then a source and three headers
// separated by kSeparator: the source goes to src.c (src.cpp with
// kCxxSource), the headers to inc/a.h, inc/b.h and inc/c.h, which the
// source and each other may include. Flags: kKeepLines rewrites with
// "#line" lines; kStripFirst strips the input's own external guards first
// and takes what that leaves as the text to rewrite. What must always hold:
//  - a rewrite or strip run exits 0 or 1, and leaves no file but the
//    project's own behind;
//  - idempotence: once a rewrite succeeded, a check run with the same
//    settings finds nothing to change, and leaves every byte as it was;
//  - round trip: where no file had an "#endif" (or a "#line") right after
//    an include, so had no external guard of its own, stripping every
//    external guard after the rewrite gives back each file byte for byte.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "batch/batch_run.h"
#include "fuzz_workspace.h"
#include "vimbo/engine/batch_observer.h"

namespace {

namespace fs = std::filesystem;
using vimbo::engine::BatchMode;
using vimbo::engine::Strip;

constexpr char kSeparator = '\x01';
constexpr unsigned char kKeepLines = 1, kStripFirst = 2, kCxxSource = 4;

const char* const kHeaderPaths[] = {"inc/a.h", "inc/b.h", "inc/c.h"};

// What a run said, shown only when an invariant breaks.
class KeptMessages : public vimbo::engine::QuietObserver {
public:
    void message(const std::string& lines) override { text += lines; }
    std::string text;
};

struct Project {
    std::vector<std::string> paths;
    std::vector<std::string> texts;
};

std::vector<std::string> current(const Project& project) {
    std::vector<std::string> texts;
    for (const std::string& path : project.paths) texts.push_back(vimbo::fuzz::readBytes(path));
    return texts;
}

// Nothing but the project's files, and the include directory, is left.
bool onlyProjectFiles(const Project& project) {
    std::size_t count = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(".", error)) {
        const std::string path = entry.path().lexically_relative(".").generic_string();
        if (path == "inc") continue;
        bool known = false;
        for (const std::string& file : project.paths) known = known || path == file;
        if (!known) {
            std::fprintf(stderr, "left behind: %s\n", path.c_str());
            return false;
        }
        ++count;
    }
    return !error && count == project.paths.size();
}

// A line that holds "include" followed by one that holds "endif", lines
// broken at CR, LF or CR LF and spliced at a backslash before the break:
// wider than any external guard the strip could find, so a text without
// one has no guard of its own to lose. A "#line" right after an include
// counts too: the strip takes one there for --keep-lines' own once the
// include's wrap is gone, whoever wrote it.
bool mayHaveOwnGuard(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            lines.back() += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (!lines.back().empty() && lines.back().back() == '\\') lines.back().pop_back();
        else lines.emplace_back();
    }
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& next = lines[i + 1];
        if (lines[i].find("include") != std::string::npos &&
            (next.find("endif") != std::string::npos || next.find("line") != std::string::npos))
            return true;
    }
    return false;
}

int run(const Project& project, BatchMode mode, Strip strip, bool keepLines, KeptMessages& observer) {
    vimbo::batch::BatchSettings settings;
    settings.mode = mode;
    settings.rewrite.strip = strip;
    settings.rewrite.keepLines = keepLines;
    settings.includePath = "inc";
    settings.lookups = nullptr;  // the search path by a compiler's rules: no compiler runs
    settings.jobs = 1;           // one order of work, so that a finding replays
    return vimbo::batch::runBatch(settings, project.paths, {}, 0, observer);
}

void check(bool condition, const char* what, const KeptMessages& observer) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n%s", what, observer.text.c_str());
    vimbo::fuzz::check(false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vimbo::fuzz::enterWorkspace("vimbo-batch-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned char flags = data[0];
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool keepLines = flags & kKeepLines;

    // A fresh project each time: nothing a run left may count for the next.
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(".", error)) fs::remove_all(entry.path(), error);
    fs::create_directory("inc", error);
    Project project;
    project.paths = {flags & kCxxSource ? "src.cpp" : "src.c", kHeaderPaths[0], kHeaderPaths[1], kHeaderPaths[2]};
    // The last file takes the rest, separators and all.
    std::string rest = input;
    for (std::size_t i = 0; i < project.paths.size(); ++i) {
        const std::string::size_type end = i + 1 < project.paths.size() ? rest.find(kSeparator) : std::string::npos;
        project.texts.push_back(rest.substr(0, end));
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        vimbo::fuzz::writeBytes(project.paths[i], project.texts.back());
    }

    KeptMessages observer;
    if (flags & kStripFirst) {
        const int stripped = run(project, BatchMode::rewrite, Strip::all, false, observer);
        check(stripped == 0 || stripped == 1, "strip status", observer);
        check(onlyProjectFiles(project), "files left by the strip", observer);
        project.texts = current(project);
    }

    const int rewritten = run(project, BatchMode::rewrite, Strip::none, keepLines, observer);
    check(rewritten == 0 || rewritten == 1, "rewrite status", observer);
    check(onlyProjectFiles(project), "files left by the rewrite", observer);
    if (rewritten != 0) return 0;  // a file that failed would fail the check too
    const std::vector<std::string> after = current(project);

    const int checked = run(project, BatchMode::check, Strip::none, keepLines, observer);
    check(checked == 0, "a second rewrite would change the first's result", observer);
    check(current(project) == after, "the check wrote", observer);

    bool ownGuards = false;
    for (const std::string& text : project.texts) ownGuards = ownGuards || mayHaveOwnGuard(text);
    if (ownGuards) return 0;
    const int stripped = run(project, BatchMode::rewrite, Strip::all, false, observer);
    check(stripped == 0, "strip status after the rewrite", observer);
    check(onlyProjectFiles(project), "files left by the strip", observer);
    const std::vector<std::string> back = current(project);
    for (std::size_t i = 0; i < back.size(); ++i)
        if (back[i] != project.texts[i]) std::fprintf(stderr, "differs after the round trip: %s\n", project.paths[i].c_str());
    check(back == project.texts, "the strip did not give back the original", observer);
    return 0;
}
