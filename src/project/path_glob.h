// Shell-style patterns for --exclude, matched against "/"-separated paths.
#pragma once

#include <string>
#include <vector>

namespace vimbo::project {

// "*" matches any run of characters within one path component, "**" any run
// across components, "?" one character other than "/"; everything else
// stands for itself. A pattern without "/" is matched against every
// component of the path (a name anywhere: "*.pb.h", "third_party"); a
// pattern with "/" against the whole path or a leading part of it, so a
// directory excludes what lies below it ("src/gen", "**/test/*.c").
bool matchesExclusion(const std::string& pattern, const std::string& path);

// A list of exclusions read as a .gitignore is: a leading "/" ties a
// pattern to the directory the list is read from, a trailing "/" matches
// directories only, "!" takes back what an earlier pattern excluded (the
// last pattern that matches decides), "\!" and "\#" stand for themselves,
// and an empty pattern or one beginning with "#" matches nothing. With
// `matched`, the patterns that matched the path are marked there (sized as
// `patterns`).
bool excludedByPatterns(const std::vector<std::string>& patterns, const std::string& path,
                        std::vector<bool>* matched = nullptr);

}  // namespace vimbo::project
