// The files git's library reads of a repository, looked at before it reads
// them: a pipe, a device (a link to /dev/zero) or a file of gigabytes in
// the place of `.git/config`, the index, an included configuration or an
// ignore file would hang the run or fill its memory.
#pragma once

#include <string>

namespace vimbo::project {

// "" when every such file of the repository that `start` lies in (the one
// `gitDirectory` names, where given) is a regular file of a size it can
// read; else what stands in the way, naming the file.
std::string unreadableRepositoryFile(const std::string& start, const char* gitDirectory);

// The same for the ignore and attribute files of one directory of a work tree.
std::string unreadableDirectoryFile(const std::string& directory);

}  // namespace vimbo::project
