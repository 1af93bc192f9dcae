// Which include lines may be wrapped at all: directives the preprocessor
// really sees, standing whole on their line, naming a header in quotes or
// angle brackets that is not the precompiled header.
#include <algorithm>

#include "analysis/include_directive.h"
#include "analysis/path_parts.h"
#include "analysis/source_scanner.h"
#include "interface/vimbo.h"

using vimbo::analysis::lowerCaseAscii;

void Vimbo::addPrecompiledHeader(const std::string& name) { precompiledHeaders_.push_back(name); }

bool Vimbo::namesPrecompiledHeader(const std::string& line) const {
    IncludeKind kind;
    bool delimited;
    const std::string name = vimbo::analysis::parseIncludeOperand(line, kind, delimited);
    // Compared by file name, without regard to case, as Windows compares names.
    const std::string file = lowerCaseAscii(name.substr(name.find_last_of("\\/") + 1));
    return std::any_of(precompiledHeaders_.begin(), precompiledHeaders_.end(),
                       [&](const std::string& pch) { return lowerCaseAscii(pch) == file; });
}

std::string Vimbo::nestedHeader(const std::string& line, const std::string& includer) {
    IncludeKind kind;
    bool delimited;
    const std::string header = vimbo::analysis::parseIncludeOperand(line, kind, delimited);
    if (!delimited) return "";  // a macro names it: the preprocessor's business
    return findHeaderLikeCompiler(header, kind == includeQuoted, includer);
}

std::string Vimbo::locateWrappableInclude(const std::string& line, const vimbo::analysis::ScannedLine& scanned,
                                          bool trusted) {
    if (!trusted || !scanned.startsClean || !scanned.endsClean) return "";
    std::string_view name, rest;
    if (!vimbo::analysis::readDirective(scanned.code, name, rest) || name != "include") return "";
    // Text that is more than one line: what follows would end up inside the wrap.
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) return "";
    // The name must be the directive's own operand: "# include <x" with a
    // "#include <a.h>" later in the line names x, not a.h.
    if (line.find("#include") != line.find_first_not_of(" \t\v\f")) return "";
    // The compiler skips everything up to the precompiled header's include;
    // a test in front of it breaks the build.
    if (namesPrecompiledHeader(line)) return "";
    return compilerLookup_ ? nestedHeader(line, settings->inputFile()) : locateIncludeFile(line);
}
