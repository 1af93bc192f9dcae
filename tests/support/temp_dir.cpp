#include "support/temp_dir.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace vimbo::test {

void writeFile(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string systemPath(const fs::path& path) {
    std::string text = path.generic_string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

std::string absoluteSystemPath(const fs::path& path) { return systemPath(fs::absolute(path)); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadValue_ = old != nullptr;
    if (old) oldValue_ = old;
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

ScopedEnv::~ScopedEnv() {
#ifdef _WIN32
    _putenv_s(name_.c_str(), hadValue_ ? oldValue_.c_str() : "");
#else
    if (hadValue_)
        setenv(name_.c_str(), oldValue_.c_str(), 1);
    else
        unsetenv(name_.c_str());
#endif
}

void TempDirTest::SetUp() {
    std::random_device random;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->name()).substr(0, 40);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    root_ = fs::temp_directory_path() / ("vimbo-" + name + "-" + std::to_string(random()));
    fs::create_directories(root_);
    previous_ = fs::current_path();
    fs::current_path(root_);
}

vimbo::platform::FileSystemOps& fileSystem() {
    static vimbo::platform::FileSystemOps ops = vimbo::platform::defaultFileSystemOps();
    return ops;
}

void TempDirTest::TearDown() {
    fileSystem() = vimbo::platform::defaultFileSystemOps();
    fs::current_path(previous_);
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

}  // namespace vimbo::test
