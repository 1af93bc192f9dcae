// Rewrites every file of a copy of a real header tree through _Vimbo_File,
// in one process, and reports files/s, include lines/s and peak memory.
//
//   VIMBO_BENCH_TREE     the tree to copy (default /usr/include/boost)
//   VIMBO_BENCH_INCLUDE  the include search path (default /usr/include)
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vimbo/vimbo.h"

namespace fs = std::filesystem;

namespace {

std::string setting(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string toSystemPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

long includeLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    long count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find("#include") != std::string::npos) ++count;
    return count;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void RewriteTree(benchmark::State& state) {
    const fs::path source = setting("VIMBO_BENCH_TREE", "/usr/include/boost");
    const std::string includePath = toSystemPath(setting("VIMBO_BENCH_INCLUDE", "/usr/include"));
    if (!fs::is_directory(source)) {
        state.SkipWithError(("no tree at " + source.string()).c_str());
        return;
    }
    const fs::path work = fs::temp_directory_path() / "vimbo-bench";
    const fs::path previous = fs::current_path();
    long files = 0, includes = 0, rewritten = 0;
    double memoryAtFirst = 0;
    // Messages of the rewrite would drown the report: send them away meanwhile.
    std::fflush(stdout);
    const int savedStdout = dup(1);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);

    for (auto _ : state) {
        state.PauseTiming();
        fs::current_path(previous);
        fs::remove_all(work);
        fs::create_directories(work);
        fs::copy(source, work / "tree", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(work / "tree"))
            if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), work).string());
        std::sort(names.begin(), names.end());
        files = static_cast<long>(names.size());
        includes = 0;
        for (const auto& name : names) includes += includeLines(work / name);
        // The scratch file lives in the current directory: keep it on the tree's device.
        fs::current_path(work);
        state.ResumeTiming();

        rewritten = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
            rewritten += Vimbo_File(includePath.c_str(), toSystemPath(names[i]).c_str(), 0);
            if (i == 0) memoryAtFirst = peakMemoryMiB();
        }
    }
    std::fflush(stdout);
    dup2(savedStdout, 1);
    close(savedStdout);
    close(devNull);
    fs::current_path(previous);
    fs::remove_all(work);

    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsRate);
    state.counters["includes/s"] =
        benchmark::Counter(static_cast<double>(includes), benchmark::Counter::kIsRate);
    state.counters["files"] = static_cast<double>(files);
    state.counters["rewritten"] = static_cast<double>(rewritten);
    state.counters["peak_MiB"] = peakMemoryMiB();
    state.counters["MiB_after_first_file"] = memoryAtFirst;
}

BENCHMARK(RewriteTree)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
