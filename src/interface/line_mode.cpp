#include "analysis/source_scanner.h"
#include "interface/vimbo.h"

std::string Vimbo::processLine() {
    const std::string line = settings->lineText();
    vimbo::analysis::SourceScanner scanner;
    const vimbo::analysis::ScannedLine scanned = scanner.feed(line);
    const std::string path = locateWrappableInclude(line, scanned, !scanner.uncertain());
    const std::string guard = verifiedGuardMacro(path);
    // Every guarded header is wrapped in line mode: there is no file context.
    return wrapIncludeLine(line, guard, "", nullptr);
}
