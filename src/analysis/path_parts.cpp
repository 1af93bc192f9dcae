#include "analysis/path_parts.h"

namespace vimbo::analysis {

PathParts splitPath(const std::string& path) {
    PathParts parts;
    std::string::size_type start = 0;
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = path.substr(0, 2);
        start = 2;
    }
    std::string::size_type lastSeparator = path.find_last_of("\\/");
    std::string::size_type nameStart = start;
    if (lastSeparator != std::string::npos && lastSeparator >= start) {
        parts.directory = path.substr(start, lastSeparator + 1 - start);
        nameStart = lastSeparator + 1;
    }
    std::string name = path.substr(nameStart);
    std::string::size_type dot = name.rfind('.');
    if (dot == std::string::npos) {
        parts.baseName = name;
    } else {
        parts.baseName = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

std::string joinPath(const PathParts& parts) {
    return parts.drive + parts.directory + parts.baseName + parts.extension;
}

std::string upperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string lowerCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool namesCplusplusFile(const std::string& path) {
    // gcc's and clang's C++ suffixes, as they compare them: with case. ".C"
    // and ".H" are left out, which a file system without case would make C.
    static const char* const kExtensions[] = {".cc", ".cpp", ".CPP", ".cxx", ".c++",
                                              ".hh", ".hpp", ".HPP", ".hxx", ".h++"};
    const std::string extension = splitPath(path).extension;
    for (const char* known : kExtensions)
        if (extension == known) return true;
    return false;
}

}  // namespace vimbo::analysis
