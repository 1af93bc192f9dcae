// Putting the scratch file in the target's place.
#include "analysis/header_cache.h"
#include "platform/file_system.h"
#include "rewrite/processor.h"
#include "vimbo/engine/paths.h"

namespace vimbo::rewrite {

namespace {
// A link is never replaced: the new file would cut it off from what it names.
// Nor is the scratch file itself, which holds the new text, nor anything
// but a regular file (a pipe or a device put in its place).
bool removeTarget(const vimbo::platform::FileSystemOps& fs, const std::string& target, const std::string& scratch) {
    vimbo::platform::FileIdentity regular;
    return fs.identityNoFollow(target, regular) && !fs.sameFile(target, scratch) && fs.remove(target);
}
}  // namespace

bool Vimbo::keepMetadata(FileRunResult& result, const std::string& from, const std::string& to,
                         const vimbo::platform::FileIdentity* fromKnown, const vimbo::platform::FileIdentity* toKnown) {
    if (!fs_.copyPermissions(from, to, fromKnown, toKnown)) {
        report(result, Failure::cantKeepPermissions, kCantKeepPermissions);
        return false;
    }
    // After the mode: an ACL sets the group bits of the mode anew.
    if (!fs_.copyAttributes(from, to)) {
        report(result, Failure::cantKeepAttributes, kCantKeepAttributes);
        return false;
    }
    return true;
}

bool Vimbo::commitOutput(FileRunResult& result, const vimbo::platform::FileIdentity* read) {
    const std::string& target = settings_->outputFile();
    const vimbo::platform::FileIdentity old =
        shared_.headers ? shared_.headers->aboutToRewrite(target, read) : vimbo::platform::FileIdentity{};
    const bool committed = putScratchInPlace(result, read);
    if (shared_.headers) shared_.headers->rewritten(target, old);
    return committed;
}

bool Vimbo::targetAsRead(FileRunResult& result, const std::string& target, const std::string& cantReplace,
                         const vimbo::platform::FileIdentity* read) {
    vimbo::platform::FileIdentity now;
    if (read && fs_.identityNoFollow(target, now)) {
        if (now == *read) return true;
        // Saved by someone else since it was read: theirs stays.
        report(result, Failure::changedDuringRun, std::string(kCantReplacePrefix) + target + kChangedDuringRun);
        return false;
    }
    // A link, or a name no regular file stands at (a target gone is put
    // back with its new text, as before).
    if (!fs_.isLink(target)) return true;
    report(result, Failure::cantReplace, cantReplace);
    return false;
}

bool Vimbo::putScratchInPlace(FileRunResult& result, const vimbo::platform::FileIdentity* read) {
    const std::string inputFile = settings_->inputFile();
    const std::string outputFile = settings_->outputFile();
    const bool inPlace = inputFile == outputFile;
    const std::string& target = inPlace ? inputFile : outputFile;
    // A device, a pipe or a directory named as the output is never removed
    // (as root, "vimbo u.c /dev/null" would take the system's node away).
    vimbo::platform::FileIdentity regular;
    if (!inPlace && !fs_.identityNoFollow(target, regular) && fs_.exists(target) && !fs_.isLink(target) &&
        !vimbo::engine::isDirectory(target)) {
        report(result, Failure::outputNotRegular, kOutputNotRegular);
        return false;
    }
    if (fs_.readOnly(target, read)) {
        if (inPlace) report(result, Failure::readOnlyInput, kReadOnlyInput);
        else report(result, Failure::readOnlyOutput, kReadOnlyOutput);
        return false;
    }
    if (settings_->makeBackup() == 1) {
        std::string message;
        const Failure failure = writeBackup(message);
        if (failure != Failure::none) {
            report(result, failure, message);
            return false;
        }
    }
    const std::string scratch = result.scratchPath;
    // Others may read the target at any moment (a parallel run): it is
    // replaced in one step, where the front end asks for that. The scratch
    // file was made new, so the target (which was read) is not the scratch.
    if (options_.replaceInOneStep) {
        const std::string cantReplace = std::string(kCantReplacePrefix) + target + "; left unchanged.\n";
        if (!targetAsRead(result, target, cantReplace, read)) return false;
        if (!keepMetadata(result, target, scratch, read)) return false;
        if (!fs_.replace(scratch, target)) {
            report(result, Failure::cantReplace, cantReplace);
            return false;
        }
        return true;
    }
    // The new file stands for the old one: same permissions, same owner.
    // A target that is missing fails to be removed below, with its own message.
    if (fs_.exists(target) && !fs_.isLink(target) && !keepMetadata(result, target, scratch)) return false;
    if (!removeTarget(fs_, target, scratch)) {
        if (inPlace) report(result, Failure::cantRemoveOld, kCantRemoveOld);
        else report(result, Failure::cantRemoveOutput, kCantRemoveOutput);
        return false;
    }
    // The target is gone; when the rename fails, the scratch file holds the
    // text, so it stays.
    if (!fs_.rename(scratch, target)) report(result, Failure::cantRename, std::string(kCantRenamePrefix) + target + "\n");
    return true;
}

}  // namespace vimbo::rewrite
