#include "fuzz_workspace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vimbo::fuzz {

namespace fs = std::filesystem;

void enterWorkspace(const char* name) {
    const fs::path dir = fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "inc");
    fs::current_path(dir);
    // File mode's messages would flood the fuzzer's own report.
    std::fflush(stdout);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void check(bool condition) {
    if (!condition) std::abort();
}

bool fileExists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

}  // namespace vimbo::fuzz
