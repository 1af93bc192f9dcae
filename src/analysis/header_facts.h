// What a header says about itself, read once per version of the file: the
// steps guard discovery takes through it, and whether one macro controls
// the whole of it (or it only forwards to other headers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace vimbo::analysis {

// One step of guard discovery in a header, in reading order: an include it
// follows, or the accepted candidate that ends the reading. The text lives
// in the facts it was read from.
struct DiscoveryStep {
    bool include = false;
    std::string_view text;  // the include's target as written, or the candidate
};

struct ForwardedInclude {
    bool quoted = false;
    std::string_view name;
    // The macro of an external guard around the include ("#ifndef M" above,
    // "#endif" below), as a rewrite leaves a forwarder; "" when there is none.
    std::string_view wrapper;
};

// A run keeps the facts of every file it reads (a large tree has a hundred
// thousand), so their texts share one string: the discovery steps, then the
// control facts. A candidate that is also the controlling macro is kept once.
class HeaderFacts {
public:
    // The version of the file these facts were read from.
    vimbo::platform::FileIdentity identity;
    // The control facts cost a full read with a lexer; they are only worked
    // out for headers whose guard is to be verified.
    bool controlKnown = false;
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
    // The controlling test is spelt with "not" ("#if not defined G"), which
    // is "!" in C++ only: the macro controls the header in C++ units alone.
    bool controlOnlyInCplusplus = false;
    // The first line inside the controlling test defines its macro
    // ("#ifndef G" / "#define G"): once the header is entered, nothing of
    // it is read again while it is open.
    bool guardDefinedFirst = false;
    // Where the last "include" in the bytes ends (0: the word is nowhere;
    // kUnknownOffset when not asked, with the macro uses): no line after it
    // holds an include to wrap.
    static constexpr std::uint64_t kUnknownOffset = UINT64_MAX;
    std::uint64_t includeWordEnd = kUnknownOffset;
    // Offsets in the bytes: where the line after the one discovery ended on
    // begins (kUnknownOffset when it read to the end), and the lines inside
    // the controlling macro's test, from the line after "#ifndef M" to the
    // start of its "#endif" (insideTo 0 when there is none). Includes
    // wrapped there, after discovery's end, change none of these facts.
    std::uint64_t discoveryEnd = kUnknownOffset, insideFrom = 0, insideTo = 0;
    bool unchangedByWrapsIn(std::uint64_t from, std::uint64_t to) const {
        return controlKnown && !forwarder && !controllingMacro().empty() && from != kUnknownOffset &&
               from >= discoveryEnd && from >= insideFrom && to <= insideTo && from <= to;
    }

    // The steps in reading order: for (std::size_t at = 0; facts.nextStep(at, step);) ...
    bool nextStep(std::size_t& at, DiscoveryStep& step) const;
    void addStep(bool include, std::string_view text);

    // The macro M such that the header, comments removed and continued lines
    // joined, is "#ifndef M" (or "#if !defined(M)") ... "#endif" with nothing
    // but blank lines, comments, null directives and "#pragma once" outside,
    // and no "#else" or "#elif" at the outer level; "" when there is none.
    // This is the macro the multiple-include optimisation of gcc and clang
    // records for the header.
    std::string_view controllingMacro() const {
        return std::string_view(text_).substr(macroAt_, macroSize_);
    }
    // A forwarder's includes, in order: for (std::size_t at = 0; facts.nextForward(at, include);) ...
    bool nextForward(std::size_t& at, ForwardedInclude& include) const;
    bool hasForwards() const { return text_.size() > forwardsAt_; }
    // Replaces the control facts' texts (the discovery steps stay).
    void setControl(std::string_view macro, const std::vector<ForwardedInclude>& forwards);
    // Gives back what the texts' string holds beyond them.
    void compact() { text_.shrink_to_fit(); }

private:
    std::string text_;
    std::size_t stepsEnd_ = 0, macroAt_ = 0, macroSize_ = 0, forwardsAt_ = 0;
};

// The macro a directive tests for being undefined, "#ifndef M" or
// "#if !defined(M)" / "#if !defined M" (its name and the rest behind it, as
// readDirective gives them): M, else "". With `cplusplus`, "not" counts as
// the "!" it is in C++, and `spelledNot` (when given) tells it was so spelt.
std::string guardTest(std::string_view name, std::string_view rest, bool cplusplus = false,
                      bool* spelledNot = nullptr);

// What a file does with macros and names, whatever its guard: what a whole
// run must know of each of its files (see RunIndex).
struct MacroUses {
    std::vector<std::string> defined, undefined, poisoned;
    std::vector<std::string> imported, included;  // the names "#import" and "#include" give
    std::vector<bool> includedQuoted;              // for each of `included`: in quotes
};

// The facts of a header's bytes; `baseName` is its upper-cased base name.
// With `uses`, the control facts are read too, and the file's macro uses.
HeaderFacts examineHeader(std::string_view bytes, const std::string& baseName, bool withControl,
                          MacroUses* uses = nullptr);

// The control and forwarding facts alone, from the bytes as a compiler reads
// them; with `uses`, the whole file is read and its macro uses recorded too.
void examineControl(std::string_view bytes, HeaderFacts& facts, MacroUses* uses = nullptr);

}  // namespace vimbo::analysis
