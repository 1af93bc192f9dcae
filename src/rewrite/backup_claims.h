// The ".Bak" names a run has written. Inputs that differ only in their
// extension (u.c and u.h) share one backup name: the second would put its
// text over the first one's only copy, so it is refused instead.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace vimbo::rewrite {

class BackupClaims {
public:
    // Claims `backup` for `input`; false, with the input that holds it in
    // `holder`, when another input of the run has it already.
    bool claim(const std::string& backup, const std::string& input, std::string& holder);
    // The backup could not be written after all: the name is free again.
    void release(const std::string& backup);

private:
    std::mutex lock_;
    std::map<std::string, std::string> holders_;  // by the backup's absolute, normal path
};

}  // namespace vimbo::rewrite
