#include "rewrite/backup_claims.h"

#include <filesystem>

#include "platform/file_system.h"

namespace vimbo::rewrite {

namespace {
// One key per file, whatever spelling names it.
std::string keyOf(const std::string& path) {
    std::error_code error;
    const std::filesystem::path native(vimbo::platform::nativePath(path));
    const std::filesystem::path absolute = std::filesystem::absolute(native, error);
    return (error ? native : absolute).lexically_normal().generic_string();
}
}  // namespace

bool BackupClaims::claim(const std::string& backup, const std::string& input, std::string& holder) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto [at, added] = holders_.emplace(keyOf(backup), input);
    if (added || at->second == input) return true;
    holder = at->second;
    return false;
}

void BackupClaims::release(const std::string& backup) {
    std::lock_guard<std::mutex> hold(lock_);
    holders_.erase(keyOf(backup));
}

}  // namespace vimbo::rewrite
