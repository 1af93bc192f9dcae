// Why the rewrite of a file failed. Each kind has its message (the
// library's own words); front ends decide by the kind, never by the text.
#pragma once

namespace vimbo::engine {

enum class Failure {
    none,
    cantOpenInput,
    cantCreateScratch,
    ioError,
    cantCreateBackup,
    backupTaken,  // another input of the run backed up to the same name
    cantRemoveOld,
    cantRemoveOutput,
    cantRename,   // the old file is gone; the scratch file holds the text
    cantReplace,
    changedDuringRun,  // saved, written or deleted by someone else meanwhile: left as they left it
    directoryChanged,  // its directory is no longer the one the run looked at
    outputNotRegular,
    textWouldChange,
    readOnlyInput,
    readOnlyOutput,
    cantKeepPermissions,
    cantKeepAttributes,
};

}  // namespace vimbo::engine
