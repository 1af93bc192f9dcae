#include "analysis/guard_analyzer.h"
#include "analysis/guarded_text.h"
#include "analysis/source_scanner.h"
#include "rewrite/processor.h"

namespace vimbo::rewrite {

std::string Vimbo::processLine() {
    const std::string line = settings_->lineText();
    vimbo::analysis::SourceScanner scanner;
    const vimbo::analysis::ScannedLine scanned = scanner.feed(line);
    vimbo::analysis::GuardAnalyzer& guards = analyzer();
    const vimbo::analysis::HeaderLookup headers = lookup();
    const std::string path = vimbo::analysis::wrappableHeader(line, scanned, !scanner.uncertain(), "", headers,
                                                              guards.finder(), options_.precompiledHeaders);
    const std::string guard = path.empty() ? "" : guards.verifiedGuardMacro(path, headers);
    // Every guarded header is wrapped in line mode: there is no file context.
    return vimbo::analysis::wrapIncludeLine(line, guard, "", nullptr);
}

}  // namespace vimbo::rewrite
