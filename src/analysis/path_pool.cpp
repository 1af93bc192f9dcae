#include "analysis/path_pool.h"

namespace vimbo::analysis {

std::uint32_t PathPool::add(std::string_view path) {
    const std::size_t cut = path.find_last_of("/\\") + 1;  // 0 without a separator
    const std::string_view directory = path.substr(0, cut);
    auto found = directoryNumbers_.find(directory);
    if (found == directoryNumbers_.end()) {
        directories_.emplace_back(directory);
        found = directoryNumbers_.emplace(directories_.back(), static_cast<std::uint32_t>(directories_.size() - 1)).first;
    }
    directoryOf_.push_back(found->second);
    nameAt_.push_back(names_.size());
    names_.append(path.substr(cut));
    return static_cast<std::uint32_t>(directoryOf_.size() - 1);
}

std::string_view PathPool::nameOf(std::uint32_t number) const {
    const std::size_t end = number + 1 < nameAt_.size() ? nameAt_[number + 1] : names_.size();
    return std::string_view(names_).substr(nameAt_[number], end - nameAt_[number]);
}

std::string PathPool::operator[](std::uint32_t number) const {
    return directories_[directoryOf_[number]] + std::string(nameOf(number));
}

bool PathPool::equals(std::uint32_t number, std::string_view path) const {
    const std::string& directory = directories_[directoryOf_[number]];
    return path.size() == directory.size() + nameOf(number).size() && path.substr(0, directory.size()) == directory &&
           path.substr(directory.size()) == nameOf(number);
}

}  // namespace vimbo::analysis
