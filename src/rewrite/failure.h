// The message a file-mode run prints for each kind of failure.
#pragma once

#include <string>

#include "vimbo/engine/failure.h"

namespace vimbo::rewrite {

using Failure = vimbo::engine::Failure;

inline constexpr const char kCantOpenInput[] = "Error: can't open input file.\n";
inline constexpr const char kCantCreateTemp[] = "Error: can't create temporary file.\n";
inline constexpr const char kIoError[] = "Error: IO error.\n";
inline constexpr const char kCantCreateBak[] = "Error: Can't create .bak file.\n";
inline constexpr const char kCantRemoveOld[] = "Error: Can't remove old file.\n";
inline constexpr const char kCantRemoveOutput[] = "Error: Can't remove output file.\n";
// Followed by the target's name and "; left unchanged.\n": replacing the
// file in one step failed, and it is as it was.
inline constexpr const char kCantReplacePrefix[] = "Error: can't replace ";
// After the prefix and the name: the file is no longer the version read
// (saved, written or deleted by someone else): it stays as they left it.
inline constexpr const char kChangedDuringRun[] = ": it changed during the run; left as saved.\n";
// Followed by the target's name and "\n".
inline constexpr const char kCantRenamePrefix[] = "Error: Can't rename $vb$tmp$.$$$ to ";
// Text mode drops carriage returns and ends at Ctrl-Z; where that would lose
// text from the file, it is not rewritten.
inline constexpr const char kTextWouldChange[] =
    "Error: input holds a lone carriage return or text after Ctrl-Z; left unchanged.\n";
// A read-only file is meant to stay as it is; it is not made writable.
inline constexpr const char kReadOnlyInput[] = "Error: input file is read-only; left unchanged.\n";
inline constexpr const char kReadOnlyOutput[] = "Error: output file is read-only; left unchanged.\n";
// The new text would be less protected than the old (or otherwise differ in
// its permissions): the old file stays.
inline constexpr const char kCantKeepPermissions[] =
    "Error: can't give the new file the permissions of the old one; left unchanged.\n";
// The output named is a device, a pipe or a directory: it is never replaced.
inline constexpr const char kOutputNotRegular[] = "Error: output file is not a regular file; left unchanged.\n";
// The directory changed (swapped for another, or for a link) since the run
// first looked at it: nothing is written there.
inline constexpr const char kDirectoryChanged[] = "Error: its directory changed during the run; left unchanged.\n";
// Extended attributes (ACLs, security labels) could not be carried over.
inline constexpr const char kCantKeepAttributes[] =
    "Error: can't give the new file the extended attributes of the old one; left unchanged.\n";

}  // namespace vimbo::rewrite
