#include "analysis/header_facts.h"

#include <algorithm>
#include <deque>
#include <functional>

#include "analysis/keywords.h"
#include "analysis/line_words.h"
#include "analysis/source_scanner.h"
#include "analysis/guard_matching.h"

namespace vimbo::analysis {
namespace {

// Header lines are examined in pieces of at most this many characters.
constexpr std::size_t kLinePiece = 1023;
constexpr char kCtrlZ = 26;

// Texts are kept as a tag, a length in base-128 digits and the bytes.
void appendText(std::string& to, char tag, std::string_view text) {
    if (tag) to += tag;
    std::size_t size = text.size();
    do {
        const auto digit = static_cast<unsigned char>(size & 0x7f);
        size >>= 7;
        to += static_cast<char>(size ? digit | 0x80 : digit);
    } while (size);
    to.append(text);
}

std::string_view readText(std::string_view from, std::size_t& at) {
    std::size_t size = 0;
    for (int shift = 0;; shift += 7) {
        const auto digit = static_cast<unsigned char>(from[at++]);
        size |= static_cast<std::size_t>(digit & 0x7f) << shift;
        if (!(digit & 0x80)) break;
    }
    const std::string_view text = from.substr(at, size);
    at += size;
    return text;
}

constexpr char kIncludeStep = 'i', kCandidateStep = 'c', kQuoted = 'q', kAngled = 'a';

// The words of discovery over one piece of a line, exactly as the discovery
// reads them; returns true once a candidate is accepted.
bool discoverInPiece(std::string_view piece, const std::string& baseName, HeaderFacts& facts) {
    LineWords words(piece);
    while (!words.exhausted()) {
        std::string_view word = words.readWord();
        std::string candidate;
        if (readGuardTest(words, word, candidate) && guardMatchesFile(baseName, candidate) &&
            !candidate.empty()) {
            facts.addStep(false, candidate);
            return true;
        }
        if (words.lastRead() == kIncludeKeyword) facts.addStep(true, words.readTo(' '));
    }
    return false;
}

// Discovery reads in text mode: carriage returns dropped, a Ctrl-Z ends the
// file, and lines are taken in pieces of at most 1023 characters.
void discover(std::string_view bytes, const std::string& baseName, HeaderFacts& facts) {
    const std::size_t ctrlZ = bytes.find(kCtrlZ);
    if (ctrlZ != std::string_view::npos) bytes = bytes.substr(0, ctrlZ);
    std::string withoutCr;
    std::size_t start = 0;
    while (start < bytes.size()) {
        // Every word discovery acts on begins with "#": the lines up to the
        // next one are passed over whole.
        const std::size_t hash = bytes.find('#', start);
        if (hash == std::string_view::npos) break;
        for (std::size_t at = hash; at > start; --at)
            if (bytes[at - 1] == '\n') {
                start = at;
                break;
            }
        std::size_t end = bytes.find('\n', start);
        const bool hasBreak = end != std::string_view::npos;
        if (!hasBreak) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (line.find('\r') != std::string_view::npos) {
            withoutCr.clear();
            for (char c : line)
                if (c != '\r') withoutCr += c;
            line = withoutCr;
        }
        start = end + 1;
        if (line.empty() && !hasBreak) break;  // only carriage returns after the last line break
        std::size_t at = 0;
        for (;;) {
            const std::size_t size = std::min(kLinePiece, line.size() - at);
            if (discoverInPiece(line.substr(at, size), baseName, facts)) {
                facts.discoveryEnd = std::min(start, bytes.size());
                return;
            }
            at += size;
            // A piece that fills the buffer leaves the rest, even only the line
            // break, to be read as the next line.
            if (size < kLinePiece || (at == line.size() && !hasBreak)) break;
        }
    }
}

}  // namespace

std::string guardTest(std::string_view name, std::string_view rest, bool cplusplus, bool* spelledNot) {
    rest = trimBlanks(rest);
    if (spelledNot) *spelledNot = false;
    if (name == "ifndef") return isIdentifier(rest) ? std::string(rest) : "";
    if (name != "if" || rest.empty()) return "";
    if (rest[0] == '!') {
        rest.remove_prefix(1);
    } else if (cplusplus && identifierLength(rest) == 3 && rest.substr(0, 3) == "not") {
        rest.remove_prefix(3);
        if (spelledNot) *spelledNot = true;
    } else {
        return "";
    }
    rest = trimBlanks(rest);
    if (rest.substr(0, 7) != "defined") return "";
    rest = rest.substr(7);
    if (!rest.empty() && !isBlank(rest[0]) && rest[0] != '(') return "";
    rest = trimBlanks(rest);
    if (!rest.empty() && rest[0] == '(') {
        if (rest.back() != ')') return "";
        rest = trimBlanks(rest.substr(1, rest.size() - 2));
    }
    return isIdentifier(rest) ? std::string(rest) : "";
}

bool HeaderFacts::nextStep(std::size_t& at, DiscoveryStep& step) const {
    if (at >= stepsEnd_) return false;
    step.include = text_[at++] == kIncludeStep;
    step.text = readText(text_, at);
    return true;
}

void HeaderFacts::addStep(bool include, std::string_view text) {
    appendText(text_, include ? kIncludeStep : kCandidateStep, text);
    stepsEnd_ = forwardsAt_ = text_.size();
    macroAt_ = macroSize_ = 0;
}

bool HeaderFacts::nextForward(std::size_t& at, ForwardedInclude& include) const {
    if (at < forwardsAt_) at = forwardsAt_;
    if (at >= text_.size()) return false;
    include.quoted = text_[at++] == kQuoted;
    include.name = readText(text_, at);
    include.wrapper = readText(text_, at);
    return true;
}

void HeaderFacts::setControl(std::string_view macro, const std::vector<ForwardedInclude>& forwards) {
    text_.resize(stepsEnd_);
    macroAt_ = macroSize_ = 0;
    // Mostly the candidate discovery ended on.
    DiscoveryStep step, last;
    for (std::size_t at = 0; nextStep(at, step);) last = step;
    if (!macro.empty() && !last.include && last.text == macro) {
        macroAt_ = static_cast<std::size_t>(last.text.data() - text_.data());
    } else {
        macroAt_ = text_.size();
        text_.append(macro);
    }
    macroSize_ = macro.size();
    forwardsAt_ = text_.size();
    for (const ForwardedInclude& include : forwards) {
        appendText(text_, include.quoted ? kQuoted : kAngled, include.name);
        appendText(text_, '\0', include.wrapper);
    }
    text_.shrink_to_fit();
}

namespace {

// The macro a "#define" names: the identifier its operand begins with.
std::string_view definedName(std::string_view rest) {
    rest = trimBlanks(rest);
    return rest.substr(0, identifierLength(rest));
}

bool isPragmaOnce(std::string_view name, std::string_view rest) {
    return name == "pragma" && trimBlanks(rest) == "once";
}

// An include of a header named in quotes or angle brackets, nothing after it.
bool forwardedInclude(std::string_view name, std::string_view rest, ForwardedInclude& include) {
    if (name != "include") return false;
    rest = trimBlanks(rest);
    if (rest.size() < 3) return false;
    const char close = rest[0] == '"' ? '"' : rest[0] == '<' ? '>' : '\0';
    if (!close || rest.back() != close) return false;
    const std::string_view header = rest.substr(1, rest.size() - 2);
    if (header.find(close) != std::string_view::npos) return false;
    include = {close == '"', header, ""};
    return true;
}

class ControlReader {
public:
    explicit ControlReader(HeaderFacts& facts) : facts_(facts) {}

    // `from` and `to`: where the logical line begins and where the next begins.
    void logicalLine(std::string_view code, std::uint64_t from, std::uint64_t to) {
        std::string_view name, rest;
        const bool directive = readDirective(code, name, rest);
        if (!directive) {
            // Code: the end of forwarding, and inside the guard nothing more.
            if (trimBlanks(code).empty()) return;
            forwarding_ = false;
            if (stage_ != Stage::inside) stage_ = Stage::failed;
            firstInside_ = false;
            return;
        }
        // A null directive ("#", perhaps with a comment: Boost.Preprocessor's
        // "# /* ... */") is nothing to either compiler, wherever it stands.
        if (name.empty() && trimBlanks(rest).empty()) return;
        const bool pragmaOnce = isPragmaOnce(name, rest);
        if (pragmaOnce) facts_.pragmaOnce = true;
        // The forwarding test sees every line that is not blank.
        if (forwarding_ && !pragmaOnce) forward(name, rest);

        switch (stage_) {
        case Stage::before:
            if (pragmaOnce) return;
            // Read as C++ reads it; the facts say when only C++ does.
            macro_ = guardTest(name, rest, true, &spelledNot_);
            stage_ = macro_.empty() ? Stage::failed : Stage::inside;
            depth_ = 1;
            firstInside_ = true;
            insideFrom_ = to;
            return;
        case Stage::inside:
            if (name == "define" && definedName(rest) == macro_) {
                definesGuard_ = true;
                definedFirst_ = definedFirst_ || firstInside_;
            }
            firstInside_ = false;
            if (name == "if" || name == "ifdef" || name == "ifndef") {
                ++depth_;
            } else if (name == "endif") {
                if (--depth_ == 0) {
                    stage_ = Stage::after;
                    insideTo_ = from;
                }
            } else if (depth_ == 1 && (name == "else" || name == "elif" || name == "elifdef" || name == "elifndef")) {
                stage_ = Stage::failed;
            }
            return;
        case Stage::after:
            if (!pragmaOnce) stage_ = Stage::failed;
            return;
        case Stage::failed:
            return;
        }
    }

    // Nothing later can make the header controlled or a forwarder.
    bool settled() const { return stage_ == Stage::failed && !forwarding_; }

    void finish(bool sound) {
        if (!wrapper_.empty() || awaitingEndif_) forwarding_ = false;
        const bool controlled = sound && stage_ == Stage::after && !macro_.empty();
        facts_.definesGuard = controlled && definesGuard_;
        facts_.forwarder = sound && forwarding_;
        facts_.controlOnlyInCplusplus = controlled && spelledNot_;
        facts_.guardDefinedFirst = controlled && definedFirst_;
        if (!facts_.forwarder) forwards_.clear();
        facts_.setControl(controlled ? std::string_view(macro_) : std::string_view(), forwards_);
        facts_.insideFrom = controlled ? insideFrom_ : 0;
        facts_.insideTo = controlled ? insideTo_ : 0;
    }

private:
    enum class Stage { before, inside, after, failed };
    HeaderFacts& facts_;
    Stage stage_ = Stage::before;
    int depth_ = 0;
    // An include, or the lines of an external guard around one.
    void forward(std::string_view name, std::string_view rest) {
        ForwardedInclude include;
        if (awaitingEndif_) {
            forwarding_ = name == "endif" && trimBlanks(rest).empty();
            awaitingEndif_ = false;
        } else if (forwardedInclude(name, rest, include)) {
            // The name and the wrapper's macro stay in the reader until the facts take them.
            names_.emplace_back(include.name);
            include.name = names_.back();
            names_.push_back(std::move(wrapper_));
            include.wrapper = names_.back();
            awaitingEndif_ = !include.wrapper.empty();
            wrapper_.clear();
            forwards_.push_back(include);
        } else if (wrapper_.empty()) {
            wrapper_ = guardTest(name, rest);
            forwarding_ = !wrapper_.empty();
        } else {
            forwarding_ = false;
        }
    }

    std::string macro_;
    std::uint64_t insideFrom_ = 0, insideTo_ = 0;
    bool definesGuard_ = false;
    bool spelledNot_ = false;  // the guard's test says "not" for "!"
    bool firstInside_ = false;   // no line inside the guard's test read yet
    bool definedFirst_ = false;  // the first line inside defines the guard
    bool forwarding_ = true;
    std::string wrapper_;         // an external guard's macro, its include still to come
    std::vector<ForwardedInclude> forwards_;
    std::deque<std::string> names_;  // the texts forwards_ refers to
    bool awaitingEndif_ = false;  // an external guard's include read, its "#endif" still to come
};

// The identifiers of a directive's operand, in order.
std::vector<std::string> identifiersOf(std::string_view text) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = identifierLength(text.substr(i));
        if (length > 0) {
            names.emplace_back(text.substr(i, length));
            i += length;
        } else {
            ++i;
        }
    }
    return names;
}

// The name in quotes or angle brackets an include or import gives, as written.
std::string headerNameOf(std::string_view rest) {
    rest = trimBlanks(rest);
    const char close = !rest.empty() && rest[0] == '"' ? '"' : !rest.empty() && rest[0] == '<' ? '>' : '\0';
    const std::size_t end = close ? rest.find(close, 1) : std::string_view::npos;
    return end == std::string_view::npos ? "" : std::string(rest.substr(1, end - 1));
}

void recordUses(std::string_view code, MacroUses& uses) {
    std::string_view name, rest;
    if (!readDirective(code, name, rest)) return;
    if (name == "define" || name == "undef") {
        const std::string_view macro = definedName(rest);
        if (!macro.empty()) (name == "define" ? uses.defined : uses.undefined).emplace_back(macro);
    } else if (name == "pragma") {
        std::vector<std::string> words = identifiersOf(rest);
        if (words.size() > 2 && (words[0] == "GCC" || words[0] == "clang") && words[1] == "poison")
            uses.poisoned.insert(uses.poisoned.end(), words.begin() + 2, words.end());
    } else if (name == "include" || name == "include_next" || name == "import") {
        std::string header = headerNameOf(rest);
        if (header.empty()) return;
        if (name == "import") {
            uses.imported.push_back(std::move(header));
            return;
        }
        uses.includedQuoted.push_back(trimBlanks(rest)[0] == '"');
        uses.included.push_back(std::move(header));
    }
}

}  // namespace

void examineControl(std::string_view bytes, HeaderFacts& facts, MacroUses* uses) {
    ControlReader reader(facts);
    const char* const origin = bytes.data();
    const auto logicalLine = [&](std::string_view code, std::size_t from, std::size_t to) {
        reader.logicalLine(code, from, to);
        if (uses) recordUses(code, *uses);
    };
    // A Ctrl-Z ends the file for some compilers and not for others; only as
    // the very last byte does it make no difference.
    bool sound = true;
    const std::size_t ctrlZ = bytes.find(kCtrlZ);
    if (ctrlZ != std::string_view::npos) {
        sound = ctrlZ + 1 == bytes.size();
        bytes = bytes.substr(0, ctrlZ);
    }
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());

    // Offsets are taken in the bytes as given, a byte-order mark included.
    const std::size_t base = static_cast<std::size_t>(bytes.data() - origin);
    SourceScanner scanner;
    std::string logical;
    std::size_t start = 0, logicalStart = 0;
    bool joined = false;  // the line read continues a logical line
    // A file whose every line break is a lone carriage return (an old Mac
    // file) has those lines to gcc, clang and MSVC alike; beside line feeds,
    // a lone carriage return ends a line for some compilers only.
    const char lineBreak = bytes.find('\n') == std::string_view::npos ? '\r' : '\n';
    while (sound && start < bytes.size() && (uses || !reader.settled())) {
        std::size_t end = bytes.find(lineBreak, start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!joined) logicalStart = start;
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\r') != std::string_view::npos) sound = false;
        const ScannedLine scanned = scanner.feed(line);
        joined = scanned.joinsNext;
        if (scanned.joinsNext) {
            logical += scanned.code;
        } else if (logical.empty()) {
            logicalLine(scanned.code, base + logicalStart, base + start);
        } else {
            logical += scanned.code;
            logicalLine(logical, base + logicalStart, base + start);
            logical.clear();
        }
    }
    if (!logical.empty()) logicalLine(logical, base + logicalStart, base + start);
    reader.finish(sound && !scanner.open() && !scanner.uncertain());
    facts.controlKnown = true;
}

HeaderFacts examineHeader(std::string_view bytes, const std::string& baseName, bool withControl,
                          MacroUses* uses) {
    HeaderFacts facts;
    discover(bytes, baseName, facts);
    if (uses) {
        // Every spelling of an include directive spells the word out; a
        // search of the raw bytes owes nothing to how the lines are read.
        // From the end backwards: the word spelt backwards.
        static constexpr std::string_view backwards = "edulcni";
        static const std::boyer_moore_horspool_searcher searcher(backwards.begin(), backwards.end());
        const auto found = std::search(bytes.rbegin(), bytes.rend(), searcher);
        facts.includeWordEnd = static_cast<std::uint64_t>(bytes.rend() - found);
    }
    if (withControl || uses)
        examineControl(bytes, facts, uses);
    else
        facts.compact();
    return facts;
}

}  // namespace vimbo::analysis
