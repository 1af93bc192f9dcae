// What a header says about itself, read once per version of the file: the
// steps guard discovery takes through it, and whether one macro controls
// the whole of it (or it only forwards to other headers).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace vimbo::analysis {

// One step of guard discovery in a header, in reading order: an include it
// follows, or the accepted candidate that ends the reading.
struct DiscoveryStep {
    bool include = false;
    std::string text;  // the include's target as written, or the candidate
};

struct ForwardedInclude {
    bool quoted = false;
    std::string name;
    // The macro of an external guard around the include ("#ifndef M" above,
    // "#endif" below), as a rewrite leaves a forwarder; "" when there is none.
    std::string wrapper;
};

struct HeaderFacts {
    // The version of the file these facts were read from.
    vimbo::platform::FileIdentity identity;
    std::vector<DiscoveryStep> discovery;
    // The rest costs a full read with a lexer; it is only worked out for
    // headers whose guard is to be verified.
    bool controlKnown = false;
    // The macro M such that the header, comments removed and continued lines
    // joined, is "#ifndef M" (or "#if !defined(M)") ... "#endif" with nothing
    // but blank lines, comments, null directives and "#pragma once" outside,
    // and no "#else" or "#elif" at the outer level; "" when there is none.
    // This is the macro the multiple-include optimisation of gcc and clang
    // records for the header.
    std::string controllingMacro;
    // The header defines its controlling macro itself, inside: a guard, not
    // a feature test.
    bool definesGuard = false;
    // A "#pragma once" stands in it (in any branch): the compiler then also
    // remembers the file as seen, which a macro test in front cannot do.
    bool pragmaOnce = false;
    // Besides blank lines, comments, null directives and "#pragma once", only
    // include directives naming a header in quotes or angle brackets, each
    // perhaps wrapped in an external guard of its own.
    bool forwarder = false;
    std::vector<ForwardedInclude> forwards;
};

// The macro a directive tests for being undefined, "#ifndef M" or
// "#if !defined(M)" / "#if !defined M" (its name and the rest behind it, as
// readDirective gives them): M, else "".
std::string guardTest(std::string_view name, std::string_view rest);

// What a file does with macros and names, whatever its guard: what a whole
// run must know of each of its files (see RunIndex).
struct MacroUses {
    std::vector<std::string> defined, undefined, poisoned;
    std::vector<std::string> imported, included;  // the names "#import" and "#include" give
};

// The facts of a header's bytes; `baseName` is its upper-cased base name.
// With `uses`, the control facts are read too, and the file's macro uses.
HeaderFacts examineHeader(std::string_view bytes, const std::string& baseName, bool withControl,
                          MacroUses* uses = nullptr);

// The control and forwarding facts alone, from the bytes as a compiler reads
// them; with `uses`, the whole file is read and its macro uses recorded too.
void examineControl(std::string_view bytes, HeaderFacts& facts, MacroUses* uses = nullptr);

}  // namespace vimbo::analysis
