// A path split into drive ("C:"), directory (through the last "\\" or "/"),
// base name and extension (from the last "." of the last component).
#pragma once

#include <string>

namespace vimbo::analysis {

struct PathParts {
    std::string drive, directory, baseName, extension;
};

PathParts splitPath(const std::string& path);
std::string joinPath(const PathParts& parts);
// Only the letters a to z (A to Z) change.
std::string upperCaseAscii(std::string text);
std::string lowerCaseAscii(std::string text);

}  // namespace vimbo::analysis
