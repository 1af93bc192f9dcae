// The processor of one run: line mode, file mode and the include analysis
// they share. It borrows its settings from the caller.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/include_kind.h"
#include "interface/guard_wrappers.h"
#include "interface/rewrite_outcome.h"
#include "interface/vimbo_params.h"

namespace vimbo::analysis {
struct GuardSearch;
class HeaderCache;
struct HeaderFacts;
struct PathParts;
struct ScannedLine;
}
namespace vimbo::platform {
class TextReader;
class TextWriter;
}

struct KeptScratch;
class BackupClaims;

class Vimbo {
public:
    explicit Vimbo(Vimbo_Params* settings = nullptr) : settings(settings) {}

    // Line mode: the rewritten text of the settings' line, ending in "\n".
    std::string processLine();
    // File mode: 1 when at least one include line was guarded, else 0.
    int processFile();
    // Runs whichever mode the settings name.
    void run();
    // The loop of every file rewrite: each line read from the input goes to
    // the output, include lines in guarded form where their header has a guard.
    RewriteOutcome rewriteLines(vimbo::platform::TextReader& input, vimbo::platform::TextWriter& output);
    // The loop run again over its own output, in memory, until it guards
    // nothing more: the text a run over the result would leave as it is.
    // Returns the first pass's outcome; `text` gets the settled bytes.
    RewriteOutcome rewriteSettled(vimbo::platform::TextReader& input, std::string& text);
    // File mode writes the settled text (for front ends that visit each
    // file once); the library's own runs make one pass.
    void settleBeforeCommit(bool on) { settle_ = on; }
    // The target is replaced by the scratch file in one step rather than
    // removed first (for runs in which other threads read the files).
    void replaceInOneStep(bool on) { atomicReplace_ = on; }
    // Settled rewrites write a "#line" after each block of wraps, so that
    // every line keeps its number (__LINE__, diagnostics).
    void keepLineNumbers(bool on) { keepLines_ = on; }
    // File mode takes away external guards instead of adding them: every
    // wrapper whose macro is tied to its header, or only the wrong ones.
    void setStripWrappers(WrapperStrip strip) { strip_ = strip; }
    // The external guards of the input file that do not control their
    // header; false (with the message as for file mode) when it can't be read.
    bool auditFile(std::vector<GuardWrapper>& wrong);
    // Whether a macro controls the whole header (or every header it only
    // forwards to), so that skipping the header while it is defined changes nothing.
    bool macroControlsHeader(const std::string& path, const std::string& macro);
    // The macro that controls the whole header, whatever its name, else the
    // guard of the headers it forwards to; "" when there is none.
    std::string guardOfHeader(const std::string& path);
    // Whether the last file-mode run reported an error message, and which.
    bool failed() const { return failed_; }
    const std::string& lastMessage() const { return lastMessage_; }
    // File-mode messages go to standard output unless a front end that
    // reports them its own way turns that off.
    void setPrintMessages(bool print) { printMessages_ = print; }

    // Include directive parsing and header location.
    static std::string parseIncludeDirective(std::string line, IncludeKind& kind);
    static std::string searchIncludePath(std::string name, std::string searchPath, IncludeKind kind);
    static void toBackslashes(std::string& path);
    std::string locateIncludeFile(const std::string& line);

    // Guard discovery, tracking and the guarded text. findGuardMacro finds
    // the candidate; verifiedGuardMacro gives it only when the candidate
    // controls the whole header (or every header it merely forwards to), so
    // that skipping the header while it is defined changes nothing.
    std::string findGuardMacro(const std::string& path);
    std::string verifiedGuardMacro(const std::string& path);
    static bool guardMatchesFile(std::string baseName, std::string macro);
    void trackIfndef(const std::string& line);
    static std::string wrapIncludeLine(const std::string& line, const std::string& guard,
                                       const std::string& lastIfndef, unsigned char* changed);

    // The header an include line may be wrapped for, or "": the line must be
    // a directive the preprocessor sees (`scanned` follows the file up to it;
    // `trusted` is false once the file reads differently as C and C++), name
    // its header in quotes or angle brackets, and not name the precompiled header.
    std::string locateWrappableInclude(const std::string& line, const vimbo::analysis::ScannedLine& scanned,
                                       bool trusted);
    // Where a compiler finds a header that `includer` includes: a quoted name
    // beside the includer first, then along the search path; never with ".h" added.
    std::string findHeaderLikeCompiler(const std::string& name, bool quoted, const std::string& includer);
    // The header an include line of `includer` names, found that way.
    std::string nestedHeader(const std::string& line, const std::string& includer);
    // Include lines are looked up as a compiler does (findHeaderLikeCompiler,
    // from the input file) rather than quoted names in the current directory
    // only and ".h" tried after angle names: for runs over whole repositories.
    void lookUpLikeCompiler(bool on) { compilerLookup_ = on; }
    // Directories searched for quoted names only, after the includer's own
    // directory and before the search path (a compiler's -iquote).
    void setQuotePath(const std::string& quotePath) { quotePath_ = quotePath; }
    // Other (search path, quote path) pairs the file may be compiled with:
    // an include is wrapped only when every one of them that finds its
    // header finds the same header with the same guard.
    void setOtherLookups(std::vector<std::pair<std::string, std::string>> lookups) { otherLookups_ = std::move(lookups); }
    // The scratch file goes into this directory ("" for the current one,
    // else ending in a separator): a front end that rewrites many files puts
    // it beside each, on the same file system, without changing directory.
    void setScratchDirectory(const std::string& directory) { scratchDirectory_ = directory; }
    std::string scratchPath() const;
    // Files of one directory rewritten in a row share one scratch file where
    // the system can swap two files (see KeptScratch); the caller releases it.
    void reuseScratch(KeptScratch* kept) { keptScratch_ = kept; }
    // Includes of these names (compared without case) are never wrapped;
    // "stdafx.h" and "pch.h" to begin with.
    void addPrecompiledHeader(const std::string& name);
    // Backups of one run, so that no two inputs share one.
    void shareBackupClaims(BackupClaims* claims) { backupClaims_ = claims; }
    // Headers read by several processors in one run (a tree) are read once.
    void shareHeaderCache(vimbo::analysis::HeaderCache* cache) { headerCache_ = cache; }

    Vimbo_Params* settings;
    std::string lastIfndefMacro;

private:
    // `facts`, when given, are the header's own, already read.
    std::string findGuardMacro(const std::string& path, vimbo::analysis::GuardSearch& search,
                               std::shared_ptr<const vimbo::analysis::HeaderFacts> facts = nullptr);
    bool guardControls(const std::string& path, const std::string& guard, int depth,
                       std::shared_ptr<const vimbo::analysis::HeaderFacts> facts = nullptr);
    bool namesPrecompiledHeader(const std::string& line) const;
    std::string examineVerdict(const std::string& path,
                               const std::shared_ptr<const vimbo::analysis::HeaderFacts>& facts);
    int processSettled(vimbo::platform::TextReader& input);
    std::vector<GuardWrapper> findGuardWrappers(const std::vector<std::string>& lines);
    RewriteOutcome stripWrappers(vimbo::platform::TextReader& input, std::string& text);
    bool sameInOtherLookups(const std::string& line, const std::string& header, const std::string& guard);
    std::string lookUpLikeCompiler(const std::string& name, bool quoted, const vimbo::analysis::PathParts& includer);
    vimbo::analysis::HeaderCache& headerCache();
    // Backup, then the scratch file takes the target's place. True when the
    // scratch file is no longer to be removed: it was renamed, or the target
    // is gone and it holds the only copy of the text.
    bool commitOutput();
    // The new file gets the old one's permissions, owner and extended
    // attributes; false (and the message) when it can't.
    bool keepMetadata(const std::string& from, const std::string& to);
    // "" when the ".Bak" copy stands, else the message saying why not.
    std::string writeBackup();
    void report(const std::string& message);

    bool failed_ = false;
    bool printMessages_ = true;
    bool compilerLookup_ = false;
    bool settle_ = false;
    bool keepLines_ = false;
    // Line origins of the text a settling pass reads and of what it writes.
    const std::vector<long>* inputOrigins_ = nullptr;
    std::vector<long>* outputOrigins_ = nullptr;
    bool atomicReplace_ = false;
    bool scratchPermissionsSet_ = false;
    WrapperStrip strip_ = WrapperStrip::none;
    KeptScratch* keptScratch_ = nullptr;
    BackupClaims* backupClaims_ = nullptr;
    std::string quotePath_;
    std::vector<std::pair<std::string, std::string>> otherLookups_;
    std::string scratchDirectory_;
    std::string lastMessage_;
    std::vector<std::string> precompiledHeaders_{"stdafx.h", "pch.h"};
    vimbo::analysis::HeaderCache* headerCache_ = nullptr;
    std::shared_ptr<vimbo::analysis::HeaderCache> ownHeaderCache_;
};
