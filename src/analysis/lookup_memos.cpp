#include "analysis/lookup_memos.h"

namespace vimbo::analysis {

std::uint32_t LookupMemos::contextNumber(const std::string& context) {
    std::lock_guard<std::mutex> hold(contextsLock_);
    return contexts_.emplace(context, static_cast<std::uint32_t>(contexts_.size())).first->second;
}

bool LookupMemos::Memo::known(const std::string& key, std::string& value) const {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = values_.find(key);
    if (found == values_.end()) return false;
    value = found->second;
    return true;
}

void LookupMemos::Memo::remember(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> hold(lock_);
    values_.emplace(key, value);
}

}  // namespace vimbo::analysis
