// The exported functions. Each call builds its own settings and processor and
// destroys them before it returns; only the line-mode result outlives a call.
#include "vimbo/vimbo.h"

#include <mutex>
#include <string>

#include "analysis/header_cache.h"
#include "rewrite/processor.h"

#if defined(_WIN32)
#define VIMBO_EXPORT
#else
#define VIMBO_EXPORT __attribute__((visibility("default")))
#endif

using vimbo::rewrite::heldDirectoryOf;
using vimbo::rewrite::RunShared;
using vimbo::rewrite::Vimbo;
using vimbo::rewrite::Vimbo_Params;

namespace {
// Created empty when the library is loaded, released when it is unloaded.
std::string resultBuffer;
// What headers say of themselves, kept across calls: a host that rewrites a
// project file by file reads each header once. Only files whose time stamp
// tells their versions apart are kept, so a changed header is read again.
vimbo::analysis::HeaderCache headerFacts(vimbo::platform::defaultFileSystemOps(),
                                        vimbo::analysis::HeaderCache::Lifetime::process);
// Calls are to be made one at a time; the lock keeps the cache whole when
// a host does not.
std::mutex callLock;
}  // namespace

extern "C" VIMBO_EXPORT const char* VIMBO_CALL Vimbo_Line(const char* includePath, const char* line) {
    try {
        Vimbo_Params settings;
        settings.setLineText(line ? line : "");
        if (includePath) settings.setIncludePath(includePath);
        std::lock_guard<std::mutex> lock(callLock);
        Vimbo processor(&settings, {}, RunShared{&headerFacts});
        resultBuffer = processor.processLine();
    } catch (...) {
        // Out of memory: hand back the line as it came rather than fail the host.
        try {
            resultBuffer = std::string(line ? line : "") + "\n";
        } catch (...) {
            resultBuffer.clear();
        }
    }
    return resultBuffer.c_str();
}

extern "C" VIMBO_EXPORT int VIMBO_CALL Vimbo_File(const char* includePath, const char* fileName,
                                                  char makeBackup) {
    try {
        Vimbo_Params settings;
        settings.setInputFile(fileName ? fileName : "");
        if (makeBackup != 0) settings.setBackup();
        if (includePath) settings.setIncludePath(includePath);
        std::lock_guard<std::mutex> lock(callLock);
        // The file's directory is held for the call: a swap of it for a link
        // can't turn the commit's removal and rename elsewhere.
        vimbo::platform::HeldDirectory held(vimbo::platform::defaultFileSystemOps(),
                                            heldDirectoryOf(settings.outputFile()), nullptr, true);
        Vimbo processor(&settings, {}, RunShared{&headerFacts}, held.ops());
        return processor.processFile();
    } catch (...) {
        return 0;
    }
}
