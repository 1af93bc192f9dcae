#include "analysis/external_guards.h"

#include <string_view>

#include "analysis/include_directive.h"
#include "analysis/include_rules.h"
#include "analysis/run_index.h"
#include "analysis/source_scanner.h"
#include "analysis/wrapper_lines.h"

namespace vimbo::analysis {
namespace {
// What a line is to the preprocessor, as far as wrappers go.
enum class Role { other, opening, include, closing };
}  // namespace

std::vector<GuardWrapper> findGuardWrappers(const std::vector<std::string>& lines, const std::string& includer,
                                            const HeaderLookup& lookup, GuardAnalyzer& analyzer) {
    // Each line's role, judged as in rewriting: a directive the preprocessor
    // sees, whole on its line, in text that reads the same as C and C++.
    std::vector<Role> roles(lines.size(), Role::other);
    std::vector<std::string> macros(lines.size());  // an opening's macro
    std::vector<IncludeName> names(lines.size());   // an include's header name
    const IncludeRules& rules = rulesFor(lookup);
    SourceScanner scanner;
    bool trusted = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = lines[i];
        if (i == 0 && text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            scanner.feed(text.substr(kByteOrderMark.size()));
            continue;  // the mark stays first: its line is never taken away
        }
        if (breaksLinesAnotherWay(text)) trusted = false;
        const ScannedLine scanned = scanner.feed(text);
        if (!trusted || scanner.uncertain() || !scanned.startsClean || !scanned.endsClean ||
            text.find('\n') != std::string_view::npos)
            continue;
        std::string_view name, rest;
        if (!readDirective(scanned.code, name, rest)) continue;
        if (rules.includes(name)) {
            // Read as the rewrite reads the lines it wraps, by the lookup's rules.
            if (rules.includeName(lines[i], name, rest, names[i])) roles[i] = Role::include;  // else a macro names it
        } else if (wrapperClosing(scanned.code)) {
            roles[i] = Role::closing;
        } else {
            macros[i] = wrapperOpening(scanned.code);
            if (!macros[i].empty()) roles[i] = Role::opening;
        }
    }

    std::vector<GuardWrapper> wrappers;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        if (roles[i] != Role::include) continue;
        const std::string& name = names[i].name;
        std::string header;
        bool looked = false;
        for (std::size_t depth = 1; depth <= i && i + depth < lines.size(); ++depth) {
            if (roles[i - depth] != Role::opening || roles[i + depth] != Role::closing) break;
            GuardWrapper wrapper{i + 1, depth, std::string(trimBlanks(lines[i])), name, macros[i - depth], ""};
            if (!looked)
                header = rules.find(lines[i], names[i], includer, lookup, analyzer.finder());
            looked = true;
            if (header.empty()) {
                if (!macroNamesHeader(wrapper.macro, name)) continue;
                wrapper.problem = "is not found";
            } else if (!analyzer.macroControlsHeader(header, wrapper.macro, lookup)) {
                // Tied to the header: its first test, a name made after it,
                // or the guard of another header of the run (a copy-paste slip).
                const std::string candidate(trimBlanks(analyzer.findGuardMacro(header, lookup)));
                const RunIndex* index = analyzer.index();
                if (candidate != wrapper.macro && !macroNamesHeader(wrapper.macro, name) &&
                    !(index && !index->otherHeaderGuardedBy(wrapper.macro, header).empty()))
                    continue;
                const std::string guard = analyzer.guardOfHeader(header, lookup);
                wrapper.problem = guard.empty() ? "has no guard that covers the whole file" : "is guarded by " + guard;
            } else if (analyzer.index() && analyzer.index()->guardedBy(wrapper.macro, header)) {
                // Right, but another header of the run has the same guard: one
                // of them is never opened once the other is in.
                const std::string other = analyzer.index()->otherHeaderGuardedBy(wrapper.macro, header);
                if (!other.empty()) wrapper.problem = "shares its guard with " + other;
            }
            wrappers.push_back(std::move(wrapper));
        }
    }
    return wrappers;
}

}  // namespace vimbo::analysis
