#include "rewrite/settings.h"

#include <cstdlib>

namespace vimbo::rewrite {

Vimbo_Params::Vimbo_Params() { resetSettings(); }

Vimbo_Params::Vimbo_Params(const std::string& inputFile) : Vimbo_Params() {
    setInputFile(inputFile);
}

void Vimbo_Params::resetSettings() {
    makeBackup_ = 0;
    inputMode_ = 1;
    outputMode_ = 1;
    inputFile_.clear();
    lineText_.clear();
    outputFile_.clear();
    const char* include = std::getenv("INCLUDE");
    includePath_ = include ? include : "";
}

void Vimbo_Params::setInputFile(const std::string& name) {
    inputFile_ = name;
    lineText_.clear();
    outputFile_ = name;
    inputMode_ = 1;
    outputMode_ = 1;
}

void Vimbo_Params::setOutputFile(const std::string& name) {
    outputFile_ = name;
    outputMode_ = 1;
}

void Vimbo_Params::setLineText(const std::string& text) {
    lineText_ = text;
    inputFile_.clear();
    outputFile_.clear();
    inputMode_ = 0;
    outputMode_ = 0;
}

void Vimbo_Params::setBackup() { makeBackup_ = 1; }

void Vimbo_Params::setIncludePath(const std::string& path) { includePath_ = path; }

}  // namespace vimbo::rewrite
