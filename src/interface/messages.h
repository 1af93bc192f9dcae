// Every message file mode prints, on standard output.
#pragma once

inline constexpr const char kCantOpenInput[] = "Error: can't open input file.\n";
inline constexpr const char kCantCreateTemp[] = "Error: can't create temporary file.\n";
inline constexpr const char kIoError[] = "Error: IO error.\n";
inline constexpr const char kCantCreateBak[] = "Error: Can't create .bak file.\n";
inline constexpr const char kCantRemoveOld[] = "Error: Can't remove old file.\n";
inline constexpr const char kCantRemoveOutput[] = "Error: Can't remove output file.\n";
// Followed by the target's name and "\n".
inline constexpr const char kCantRenamePrefix[] = "Error: Can't rename $vb$tmp$.$$$ to ";
// Text mode drops carriage returns and ends at Ctrl-Z; where that would lose
// text from the file, it is not rewritten.
inline constexpr const char kTextWouldChange[] =
    "Error: input holds a lone carriage return or text after Ctrl-Z; left unchanged.\n";
