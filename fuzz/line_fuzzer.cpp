// Arbitrary bytes as an include line and as the text of the header it names.
// The input is the line, a line feed, then the header's text. The answer must
// always be the line followed by "\n", or the line between "#ifndef GUARD"
// and "#endif", with a guard that cannot swallow the line into a comment.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_workspace.h"
#include "vimbo/vimbo.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vimbo::fuzz::enterWorkspace("vimbo-line-fuzz");
    vimbo::fuzz::writeBytes("inc/n.h", "#ifndef N_H\n#define N_H\n#endif\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string::size_type split = input.find('\n');
    const std::string line = input.substr(0, split);
    const std::string header = split == std::string::npos ? "" : input.substr(split + 1);
    // The same text under the names a line is likely to use, quoted and not.
    vimbo::fuzz::writeBytes("inc/h.h", header);
    vimbo::fuzz::writeBytes("h.h", header);
    vimbo::fuzz::writeBytes("inc/g", header);

    // Text with a NUL stops where C strings stop.
    const std::string cLine = line.c_str();
    const std::string result = Vimbo_Line("inc", cLine.c_str());
    if (result == cLine + "\n") return 0;

    const std::string head = "#ifndef ";
    const std::string tail = "\n" + cLine + "\n#endif\n";
    vimbo::fuzz::check(result.size() > head.size() + tail.size());
    vimbo::fuzz::check(result.compare(0, head.size(), head) == 0);
    vimbo::fuzz::check(result.compare(result.size() - tail.size(), tail.size(), tail) == 0);
    const std::string guard = result.substr(head.size(), result.size() - head.size() - tail.size());
    vimbo::fuzz::check(!guard.empty());
    vimbo::fuzz::check(guard.find('\n') == std::string::npos && guard.find('\t') == std::string::npos);
    vimbo::fuzz::check(guard.find("/*") == std::string::npos && guard.find("//") == std::string::npos);
    return 0;
}
