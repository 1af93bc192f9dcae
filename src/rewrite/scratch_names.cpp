#include <cctype>

#include "rewrite/scratch_file.h"
#include "vimbo/engine/paths.h"

namespace vimbo::rewrite {

namespace {
constexpr const char kNewTextStem[] = "$vb$tmp$.";
constexpr const char kBackupStem[] = "$vb$bak$.";

bool numberedFrom(const std::string& name, std::size_t at) {
    if (name.size() == at) return false;
    if (name.compare(at, std::string::npos, "$$$") == 0) return true;
    for (std::size_t i = at; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return name[at] != '0';
}

bool hasStem(const std::string& name, const char* stem) {
    const std::string prefix = stem;
    return name.compare(0, prefix.size(), prefix) == 0 && numberedFrom(name, prefix.size());
}
}  // namespace

std::string scratchName(unsigned number) {
    return number == 0 ? std::string(kScratchFileName) : kNewTextStem + std::to_string(number);
}

std::string backupScratchName(unsigned number) {
    return kBackupStem + (number == 0 ? std::string("$$$") : std::to_string(number));
}

bool isScratchName(const std::string& name) { return hasStem(name, kNewTextStem) || hasStem(name, kBackupStem); }


}  // namespace vimbo::rewrite

bool vimbo::engine::isScratchFileName(const std::string& name) { return vimbo::rewrite::isScratchName(name); }
