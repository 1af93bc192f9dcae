#include "support/file_mode_run.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

using namespace vimbo::rewrite;

namespace vimbo::test {

FileRun runFileMode(const std::string& input, const std::string& includePath, bool backup,
                    const std::string& output) {
    Vimbo_Params settings(input);
    if (!output.empty()) settings.setOutputFile(output);
    if (backup) settings.setBackup();
    settings.setIncludePath(includePath);
    Vimbo processor(&settings, {}, {}, fileSystem());
    ::testing::internal::CaptureStdout();
    const FileRunResult result = processor.rewriteFile();
    return FileRun{result.status, ::testing::internal::GetCapturedStdout(), result.failed()};
}

}  // namespace vimbo::test
