// Shell-style patterns for --exclude, matched against "/"-separated paths.
#pragma once

#include <string>

namespace vimbo::project {

// "*" matches any run of characters within one path component, "**" any run
// across components, "?" one character other than "/"; everything else
// stands for itself. A pattern without "/" is matched against every
// component of the path (a name anywhere: "*.pb.h", "third_party"); a
// pattern with "/" against the whole path or a leading part of it, so a
// directory excludes what lies below it ("src/gen", "**/test/*.c").
bool matchesExclusion(const std::string& pattern, const std::string& path);

}  // namespace vimbo::project
