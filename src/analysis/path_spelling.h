// How a path is spelt: one separator, and no "." in front.
#pragma once

#include <string>

namespace vimbo::analysis {

// Every "/" of the path made "\\".
void toBackslashes(std::string& path);
// A path as the file system takes it, spelt one way: a search path's "." in
// front names no other file, and the separators are one to the platform.
std::string plainSpelling(std::string path);

}  // namespace vimbo::analysis
