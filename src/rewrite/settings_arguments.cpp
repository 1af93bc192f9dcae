// Settings from command-line style arguments.
#include "vimbo/engine/arguments.h"
#include "rewrite/settings.h"

namespace vimbo::rewrite {

// The last "-i" wins; the first file is the input, the last of the others
// the output; a line given with "-t" replaces both.
Vimbo_Params::Vimbo_Params(int argc, const char* const* argv) : Vimbo_Params(vimbo::engine::readArgumentWords(argc, argv)) {}

Vimbo_Params::Vimbo_Params(const vimbo::engine::ArgumentWords& words) : Vimbo_Params() {
    if (words.backup) setBackup();
    if (!words.includePaths.empty()) setIncludePath(words.includePaths.back());
    if (!words.files.empty()) setInputFile(words.files.front());
    if (words.files.size() > 1) setOutputFile(words.files.back());
    if (words.lineMode) setLineText(words.line);
}

}  // namespace vimbo::rewrite
