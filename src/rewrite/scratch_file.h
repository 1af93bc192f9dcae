#pragma once

// Every file-mode run writes its output here, in the current directory, and
// moves it over the target only when something was guarded.
inline constexpr const char kScratchFileName[] = "$vb$tmp$.$$$";

#include <string>

#include "platform/file_system.h"

// A run over the files of one directory keeps the file a swap leaves under
// the scratch name (the target's old version) to write the next file's text
// into, instead of removing one file and making another for every file:
// after many removals, making a file is the dearest step on some file
// systems. Only a file of one name, still as it was left, is taken again.
struct KeptScratch {
    std::string path;
    vimbo::platform::FileIdentity identity;
    bool held = false;
};

// Whether `path` is still the very file kept, with no other name. What it
// holds does not matter: it is written over whole.
bool holdsScratch(const vimbo::platform::FileSystemOps& fs, const KeptScratch& kept, const std::string& path);
// Keeps what a swap left at `path`, or removes it when it may not be
// written again (it has other names). `left`, when given, is the file the
// swap took away (the version the rewrite read), so no look is needed; a
// file other than that, put there meanwhile, is then never taken.
void keepScratch(const vimbo::platform::FileSystemOps& fs, KeptScratch& kept, const std::string& path,
                 const vimbo::platform::FileIdentity* left = nullptr);
// Removes the kept file at the end of the directory's run.
void releaseScratch(const vimbo::platform::FileSystemOps& fs, KeptScratch& kept);
