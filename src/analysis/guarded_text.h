// The text that takes the place of an include line.
#pragma once

#include <string>

namespace vimbo::analysis {

// "#ifndef " + guard + "\n" + line + "\n#endif\n", with `changed` set; the
// line + "\n" alone when there is no guard, when the last macro tested
// (`lastIfndef`) is the guard already, or when the line leaves a block
// comment open (the "#endif" would land inside it).
std::string wrapIncludeLine(const std::string& line, const std::string& guard, const std::string& lastIfndef,
                            bool* changed);

}  // namespace vimbo::analysis
