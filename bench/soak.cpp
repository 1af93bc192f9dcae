// Soak: rewrites every file of a copy of a real tree through _Vimbo_File with
// backups, in one process, and checks as it goes:
//  - each .Bak holds the original's bytes (checked right after its file,
//    since files that differ only in extension share one .Bak);
//  - each rewritten file is the original plus "#ifndef"/"#endif" pairs only;
//  - a second pass over the tree keeps that true;
//  - memory stays flat from the first file to the last.
//
//   soak ORIGINAL COPY [INCLUDE_PATH]   (COPY, equal to ORIGINAL, is rewritten)
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "vimbo/vimbo.h"
#include "text_invariants.h"

namespace fs = std::filesystem;
using namespace vimbo::invariants;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Resident memory now, in KiB, after freed heap went back to the system: what
// is still in use, not what the checker once needed for a large file.
long residentKiB() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string systemPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: soak ORIGINAL COPY [INCLUDE_PATH]\n";
        return 2;
    }
    const fs::path original = fs::absolute(argv[1]);
    const fs::path tree = fs::absolute(argv[2]);
    const std::string includePath = systemPath(argc > 3 ? argv[3] : "/usr/include");
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(tree))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), tree).string());
    std::sort(files.begin(), files.end());
    fs::current_path(tree);

    std::fflush(stdout);
    std::freopen("/dev/null", "w", stdout);  // messages of files that fail on purpose

    long failures = 0, rewritten = 0, firstResident = 0;
    // The original is read again from the pristine tree, so that memory
    // measures the library and not the checker.
    auto checkFile = [&](const std::string& name, bool withBackup) {
        // Every byte is kept here: lines keep their own endings.
        const std::string before = readBytes(original / name), bytes = readBytes(name);
        const bool ok = bytes == before || onlyGuardsAdded(keptLines(bytes), keptLines(before));
        if (!ok) {
            ++failures;
            std::cerr << "changed beyond its guards: " << name << "\n";
        }
        if (withBackup) {
            fs::path backup = fs::path(name).replace_extension(".Bak");
            if (bytes != before && readBytes(backup) != before) {
                ++failures;
                std::cerr << "backup differs: " << backup << "\n";
            }
        }
    };

    for (int pass = 1; pass <= 2; ++pass) {
        long passRewritten = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string& name = files[i];
            const int result = Vimbo_File(includePath.c_str(), systemPath(name).c_str(), pass == 1 ? 1 : 0);
            passRewritten += result;
            if (fs::exists("$vb$tmp$.$$$")) {
                ++failures;
                std::cerr << "scratch file left after " << name << "\n";
                fs::remove("$vb$tmp$.$$$");
            }
            if (result) checkFile(name, pass == 1);
            if (pass == 1 && i == 0) firstResident = residentKiB();
            if (pass == 1 && i > 0 && i % (files.size() / 4 + 1) == 0)
                std::cerr << "resident after " << i << " files: " << residentKiB() << " KiB\n";
        }
        if (pass == 1) rewritten = passRewritten;
        std::cerr << "pass " << pass << ": " << files.size() << " files, " << passRewritten << " rewritten\n";
    }

    std::cerr << "resident after the first file: " << firstResident << " KiB, after the last: " << residentKiB()
              << " KiB, peak: " << peakKiB() << " KiB\n"
              << (failures ? "FAILED: " : "ok: ") << failures << " problems in " << files.size() << " files ("
              << rewritten << " rewritten in the first pass)\n";
    return failures ? 1 : 0;
}
