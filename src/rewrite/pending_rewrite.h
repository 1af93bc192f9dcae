// A file whose new text is written beside it (and its backup beside that),
// waiting to be put in its place with the rest of its batch.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "rewrite/failure.h"

namespace vimbo::rewrite {

struct PendingRewrite {
    std::string target;
    std::string scratch;  // the new text, written whole
    // With -b: the old text, written whole under a name of its own beside
    // the backup, which it is to become.
    std::string backup, backupScratch;
    // The version the rewrite read: the swap must take away that very one.
    vimbo::platform::FileIdentity read;
    // The scratch file as written (device, file number and size).
    vimbo::platform::FileIdentity written;
    // Where the wraps lie in the version read (for the header cache).
    std::uint64_t wrapsFrom = UINT64_MAX, wrapsTo = 0;
    // Every name in the target's directory is reached through it.
    std::shared_ptr<vimbo::platform::HeldDirectory> directory;
    // The version put in place is looked up for the caller.
    bool noteVersion = false;
};

// What putting it in place came to.
struct Published {
    Failure failure = Failure::none;
    std::string message;      // the file-mode message, with its line break
    std::string scratchLeft;  // a scratch file left that holds text, for the user to look at
    vimbo::platform::FileIdentity written = {};  // with noteVersion: the file put in place
};

}  // namespace vimbo::rewrite
