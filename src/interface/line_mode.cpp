#include "interface/vimbo.h"

std::string Vimbo::processLine() {
    const std::string line = settings->lineText();
    const std::string path = locateIncludeFile(line);
    const std::string guard = findGuardMacro(path);
    // Every guarded header is wrapped in line mode: there is no file context.
    return wrapIncludeLine(line, guard, "", nullptr);
}
