// Many paths kept compactly: each directory once, the file names side by
// side in one string. A run's index holds two paths of every file of a tree
// of a hundred thousand.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vimbo::analysis {

class PathPool {
public:
    // Keeps `path`; its number, counting from 0 in the order of adding.
    std::uint32_t add(std::string_view path);
    std::string operator[](std::uint32_t number) const;
    bool equals(std::uint32_t number, std::string_view path) const;
    std::size_t size() const { return directoryOf_.size(); }

private:
    std::string_view nameOf(std::uint32_t number) const;
    // A directory with its final separator ("" for none); the numbers' keys
    // are the texts in directories_, which a deque keeps in place.
    std::unordered_map<std::string_view, std::uint32_t> directoryNumbers_;
    std::deque<std::string> directories_;
    std::vector<std::uint32_t> directoryOf_;
    std::vector<std::size_t> nameAt_;  // where each name begins in names_
    std::string names_;
};

}  // namespace vimbo::analysis
