// A path split into drive ("C:"), directory (through the last "\\" or "/"),
// base name and extension (from the last "." of the last component).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vimbo::analysis {

struct PathParts {
    std::string drive, directory, baseName, extension;
};

PathParts splitPath(const std::string& path);
std::string joinPath(const PathParts& parts);
// Only the letters a to z (A to Z) change.
std::string upperCaseAscii(std::string text);
std::string lowerCaseAscii(std::string text);
// Whether compilers take a file of this name for C++ (".cpp", ".hpp" and the
// like); ".h", ".c" and the rest may be read as either language.
bool namesCplusplusFile(const std::string& path);
// A 64-bit hash of a name or macro (FNV-1a), the same on every platform, for
// tables that hold a hundred thousand of them.
inline std::uint64_t nameHash(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return hash;
}

}  // namespace vimbo::analysis
