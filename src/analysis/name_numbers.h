// Names kept once each, by number: what many files repeat (the names their
// includes give) costs a number where it is repeated.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vimbo::analysis {

class NameNumbers {
public:
    // The number of `name`, the same each time it is given.
    std::uint32_t of(std::string_view name) {
        const auto found = numbers_.find(name);
        if (found != numbers_.end()) return found->second;
        names_.emplace_back(name);
        const auto number = static_cast<std::uint32_t>(names_.size() - 1);
        numbers_.emplace(names_.back(), number);
        return number;
    }
    const std::string& operator[](std::uint32_t number) const { return names_[number]; }
    std::size_t size() const { return names_.size(); }
    void clear() {
        numbers_.clear();
        names_.clear();
        names_.shrink_to_fit();
    }

private:
    // The keys are the texts in names_, which a deque keeps in place.
    std::unordered_map<std::string_view, std::uint32_t> numbers_;
    std::deque<std::string> names_;
};

}  // namespace vimbo::analysis
