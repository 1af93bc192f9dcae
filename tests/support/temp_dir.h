// A fresh directory per test, made the current directory for the test's
// length (quoted includes and the scratch file live there).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"

namespace vimbo::test {

namespace fs = std::filesystem;

// Writes the bytes exactly as given, creating directories on the way.
void writeFile(const fs::path& path, const std::string& bytes);
std::string readFile(const fs::path& path);
// A path in the system's own form: every "/" turned into "\\".
std::string systemPath(const fs::path& path);
// An absolute path as the system writes one: a leading "\\" (or a drive).
std::string absoluteSystemPath(const fs::path& path);

// The file-system operations the tests hand to the code they run: the
// system's, with entries a test replaces to make one operation fail (what a
// real file system cannot be made to do); put back after each test.
vimbo::platform::FileSystemOps& fileSystem();

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // null value: unset
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadValue_;
    std::string oldValue_;
};

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fs::path root() const { return root_; }
    void write(const std::string& relative, const std::string& bytes) { writeFile(root_ / relative, bytes); }
    std::string read(const std::string& relative) const { return readFile(root_ / relative); }
    bool exists(const std::string& relative) const { return fs::exists(root_ / relative); }

private:
    fs::path root_;
    fs::path previous_;
    ScopedEnv include_{"INCLUDE", nullptr};
};

}  // namespace vimbo::test
