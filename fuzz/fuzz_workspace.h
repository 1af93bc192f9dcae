// A private directory for a fuzz target: made the current directory once,
// with the headers the inputs may name, and standard output sent away.
#pragma once

#include <string>

namespace vimbo::fuzz {

void enterWorkspace(const char* name);
void writeBytes(const std::string& path, const std::string& bytes);
std::string readBytes(const std::string& path);
bool fileExists(const std::string& path);
// A broken invariant is a crash, which the fuzzer keeps as a finding.
void check(bool condition);

}  // namespace vimbo::fuzz
