// Which files a translation unit reads, as its compiler tells while it
// preprocesses the unit (a make rule from gcc and clang, a note per header
// from cl), and which of them belong to the run: --verify counts only the
// units that read a file the run rewrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vimbo::batch {

// The prerequisites of the make rule that `text` holds (-MD -MF), with
// make's escapes undone ("\ ", "\#", "$$", lines continued by "\");
// false when there is no rule in it.
bool makeRulePrerequisites(const std::string& text, std::vector<std::string>& files);

// Whether a line cl or clang-cl printed on standard error is the note
// /showIncludes gives for each header it opens.
bool isIncludeNote(const std::string& line);
// The headers those notes name, in order.
std::vector<std::string> noteIncludes(const std::string& errors);

// The files a run may rewrite, known by their canonical paths: spelling
// (`../`, a linked directory, a relative name) does not hide that a unit
// reads one.
class RunFiles {
public:
    RunFiles() = default;
    // `paths` as the units' compilers see them: in a dry run, in the copy.
    explicit RunFiles(const std::vector<std::string>& paths);
    std::size_t size() const { return count_; }
    // The indices (into `paths`) of the run's files among `files`, relative
    // ones taken from `directory`; sorted, each once.
    std::vector<std::uint32_t> among(const std::vector<std::string>& files, const std::filesystem::path& directory) const;

private:
    std::size_t count_ = 0;
    std::unordered_map<std::string, std::uint32_t> byPath_;
    // Their file names: a unit's system headers are told apart without a look at the disk.
    std::unordered_set<std::string> names_;
};

}  // namespace vimbo::batch
