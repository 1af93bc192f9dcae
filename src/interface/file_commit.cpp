// Putting the scratch file in the target's place.
#include "interface/messages.h"
#include "interface/scratch_file.h"
#include "interface/vimbo.h"
#include "platform/file_system.h"

namespace {
// A link is never replaced: the new file would cut it off from what it names.
// Nor is the scratch file itself, which holds the new text.
bool removeTarget(const std::string& target, const std::string& scratch) {
    auto& fs = vimbo::platform::fileSystem();
    return !fs.isLink(target) && !fs.sameFile(target, scratch) && fs.remove(target);
}
}  // namespace

bool Vimbo::keepMetadata(const std::string& from, const std::string& to) {
    auto& fs = vimbo::platform::fileSystem();
    if (!fs.copyPermissions(from, to)) {
        report(kCantKeepPermissions);
        return false;
    }
    // After the mode: an ACL sets the group bits of the mode anew.
    if (!fs.copyAttributes(from, to)) {
        report(kCantKeepAttributes);
        return false;
    }
    return true;
}

bool Vimbo::commitOutput() {
    auto& fs = vimbo::platform::fileSystem();
    const std::string inputFile = settings->inputFile();
    const std::string outputFile = settings->outputFile();
    const bool inPlace = inputFile == outputFile;
    const std::string& target = inPlace ? inputFile : outputFile;
    if (fs.readOnly(target)) {
        report(inPlace ? kReadOnlyInput : kReadOnlyOutput);
        return false;
    }
    if (settings->makeBackup() == 1) {
        const std::string failure = writeBackup();
        if (!failure.empty()) {
            report(failure);
            return false;
        }
    }
    const std::string scratch = scratchPath();
    // Others may read the target at any moment (a parallel run): it is
    // replaced in one step, where the front end asks for that. The scratch
    // file was made new, so the target (which was read) is not the scratch.
    if (atomicReplace_) {
        if (fs.isLink(target)) {
            report(std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
            return false;
        }
        if (!scratchPermissionsSet_ && !keepMetadata(target, scratch)) return false;
        // A swap leaves the old file under the scratch name, to be written
        // again for the directory's next file.
        if (keptScratch_ && fs.exchange(scratch, target)) {
            keepScratch(*keptScratch_, scratch);
            return true;
        }
        if (!fs.replace(scratch, target)) {
            report(std::string(kCantReplacePrefix) + target + "; left unchanged.\n");
            return false;
        }
        return true;
    }
    // The new file stands for the old one: same permissions, same owner.
    // A target that is missing fails to be removed below, with its own message.
    if (fs.exists(target) && !fs.isLink(target) && !keepMetadata(target, scratch)) return false;
    if (!removeTarget(target, scratch)) {
        report(inPlace ? kCantRemoveOld : kCantRemoveOutput);
        return false;
    }
    if (!fs.rename(scratch, target)) {
        // The target is gone; the scratch file now holds the text, so it stays.
        report(std::string(kCantRenamePrefix) + target + "\n");
    }
    return true;
}
