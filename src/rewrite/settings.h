// The settings of one run: what to read, where the result goes, where headers
// are looked for, and whether a backup is kept.
#pragma once

#include <string>

#include "vimbo/engine/arguments.h"

namespace vimbo::rewrite {

class Vimbo_Params {
public:
    Vimbo_Params();
    explicit Vimbo_Params(const std::string& inputFile);
    // Command-line style arguments; element 0 is the first argument.
    Vimbo_Params(int argc, const char* const* argv);
    // The same arguments, read already.
    explicit Vimbo_Params(const vimbo::engine::ArgumentWords& words);

    void resetSettings();
    void setInputFile(const std::string& name);
    void setOutputFile(const std::string& name);
    void setLineText(const std::string& text);
    void setBackup();
    void setIncludePath(const std::string& path);

    int makeBackup() const { return makeBackup_; }
    int inputMode() const { return inputMode_; }
    int outputMode() const { return outputMode_; }
    std::string includePath() const { return includePath_; }
    std::string inputFile() const { return inputFile_; }
    std::string lineText() const { return lineText_; }
    std::string outputFile() const { return outputFile_; }

private:
    int makeBackup_ = 0;
    int inputMode_ = 1;
    int outputMode_ = 1;
    std::string includePath_;
    std::string inputFile_;
    std::string lineText_;
    std::string outputFile_;
};

}  // namespace vimbo::rewrite
