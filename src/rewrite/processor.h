// The processor of one run: line mode, file mode, and the include analysis
// they ask for. It borrows its settings from the caller; the analysis itself
// lives in the analysis layer, which it hands a lookup made of the settings.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/external_guards.h"
#include "platform/file_system.h"
#include "rewrite/failure.h"
#include "rewrite/file_run_result.h"
#include "rewrite/rewrite_options.h"
#include "rewrite/rewrite_outcome.h"
#include "rewrite/settings.h"

namespace vimbo::analysis {
struct ScannedLine;
class GuardAnalyzer;
class HeaderCache;
class RunIndex;
struct HeaderLookup;
}
namespace vimbo::platform {
class TextReader;
class TextWriter;
}

namespace vimbo::rewrite {

class ScratchNames;
class BackupClaims;
class CommitBatch;

// What the processors of one run share; each may be null (the processor
// then keeps its own header cache and has nothing else to share).
struct RunShared {
    // Headers read by several processors in one run (a tree) are read once.
    vimbo::analysis::HeaderCache* headers = nullptr;
    // The backups of the run, so that no two inputs share one.
    BackupClaims* backups = nullptr;
    // The scratch names of the file's directory, when several new texts
    // may wait there at once (a batch run); else the one fixed name.
    ScratchNames* names = nullptr;
    // The directory the run holds the file's through, which a prepared
    // rewrite keeps until it is put in place.
    std::shared_ptr<vimbo::platform::HeldDirectory> directory = nullptr;
    // The batch the prepared rewrite goes to, which has old versions to
    // write the new text over.
    CommitBatch* commits = nullptr;
    // What every file of a batch run says of macros.
    const vimbo::analysis::RunIndex* index = nullptr;
};

// What one pass of the line loop reads besides its input, and where it
// writes the line origins of its output.
struct LinePass {
    // Lines that begin at or after this offset of the input hold no
    // include (the index read that very version): they are only copied.
    std::uint64_t plainFrom = UINT64_MAX;
    // Where each line of the input came from (null: it is the file itself).
    const std::vector<long>* inputOrigins = nullptr;
    // Where each line of the output comes from (null: not wanted).
    std::vector<long>* outputOrigins = nullptr;
    // With RewriteOptions::recordChanges, where the lines it guards go (null: not wanted).
    std::vector<IncludeChange>* changes = nullptr;
    // Where the include lines whose header no directory holds go (null: not wanted).
    std::vector<UnfoundInclude>* unfound = nullptr;
};

class Vimbo {
public:
    // Files are read and written through `fs`; a shared header cache must
    // read through the same table.
    explicit Vimbo(Vimbo_Params* runSettings = nullptr, RewriteOptions options = {}, RunShared shared = {},
                   const vimbo::platform::FileSystemOps& fs = vimbo::platform::defaultFileSystemOps());
    ~Vimbo();
    Vimbo(const Vimbo&) = delete;
    Vimbo& operator=(const Vimbo&) = delete;

    // Line mode: the rewritten text of the settings' line, ending in "\n".
    std::string processLine();
    // File mode, and what it came to.
    FileRunResult rewriteFile();
    // File mode for the exported function: rewriteFile's status.
    int processFile();
    // Runs whichever mode the settings name: file mode's result (an empty
    // one for line mode).
    FileRunResult run();
    // The external guards of the input file that do not control their
    // header (and their lines in the result's changes); the result fails,
    // with the message as for file mode, when it can't be read.
    FileRunResult auditFile(std::vector<vimbo::analysis::GuardWrapper>& wrong);

private:
    // The loop of every file rewrite: each line read from the input goes to
    // the output, include lines in guarded form where their header has a guard.
    RewriteOutcome rewriteLines(vimbo::platform::TextReader& input, vimbo::platform::TextWriter& output,
                                const LinePass& pass);
    // The loop run again over its own output, in memory, until it guards
    // nothing more: the text a run over the result would leave as it is.
    // Returns the first pass's outcome; `text` gets the settled bytes, and
    // `changes` (with RewriteOptions::recordChanges) what they guard, and
    // `unfound` the include lines of the input whose header is nowhere.
    RewriteOutcome rewriteSettled(vimbo::platform::TextReader& input, std::string& text,
                                  std::vector<IncludeChange>& changes, std::uint64_t plainFrom,
                                  std::vector<UnfoundInclude>* unfound = nullptr);

    // The lookup the settings and options make.
    vimbo::analysis::HeaderLookup lookup() const;
    vimbo::analysis::GuardAnalyzer& analyzer();
    // `readAnew` is set when the input was not the version the run knew: it
    // is to be read again as it is.
    // `read`: the version of the target that was read (null: not known).
    // Each step of a file-mode run records what it comes to in `result`.
    int processSettled(FileRunResult& result, vimbo::platform::TextReader& input, std::uint64_t plainFrom,
                       const vimbo::platform::FileIdentity* read, bool& readAnew);
    // File mode with the input read as `known`, the version the run learnt
    // it is (null: as the open finds it), copying unexamined from `plainFrom`.
    int processFileAs(FileRunResult& result, const vimbo::platform::FileIdentity* known, std::uint64_t plainFrom,
                      bool& readAnew);
    // Before the target is replaced: it is no link and, where the version
    // read is known, still that version (false, and the message, if not).
    bool targetAsRead(FileRunResult& result, const std::string& target, const std::string& cantReplace,
                      const vimbo::platform::FileIdentity* read);
    std::vector<vimbo::analysis::GuardWrapper> wrappersOf(const std::vector<std::string>& texts);
    RewriteOutcome stripWrappers(vimbo::platform::TextReader& input, std::string& text,
                                 std::vector<IncludeChange>& changes);
    // Backup, then the scratch file takes the target's place. True when the
    // scratch file is no longer to be removed: it was renamed, or the target
    // is gone and it holds the only copy of the text.
    // The run's header cache is told, so that every name of the old version
    // is looked up afresh, whatever the commit did.
    // `read`: the version of the target that was read (null: not known).
    bool commitOutput(FileRunResult& result, const vimbo::platform::FileIdentity* read);
    bool putScratchInPlace(FileRunResult& result, const vimbo::platform::FileIdentity* read);
    // The new file gets the old one's permissions, owner and extended
    // attributes; false (and the message) when it can't.
    // `fromKnown` and `toKnown`: the versions the paths stand for, when known.
    bool keepMetadata(FileRunResult& result, const std::string& from, const std::string& to,
                      const vimbo::platform::FileIdentity* fromKnown = nullptr,
                      const vimbo::platform::FileIdentity* toKnown = nullptr);
    // Failure::none when the ".Bak" copy stands, else why not (and the message).
    Failure writeBackup(std::string& message);
    // Whether `name` may take this input's old text: not the input itself,
    // nor another input's backup (of this run, or of an earlier one).
    Failure claimBackup(const std::string& name, std::string& message);
    // The old text written whole under a new name beside the backup `name`
    // (on disk with `sync`): that name, or "" when it could not be.
    std::string writeBackupCopy(const std::string& name, bool sync);
    // Batch runs: the new text written beside the file, with its backup,
    // for the caller to put in place (the result's `prepared`).
    void prepareRewrite(FileRunResult& result, const std::string& text, const RewriteOutcome& outcome,
                        const vimbo::platform::FileIdentity* read);
    // A new scratch file for the text, never over one already there: its
    // name, or "" (and the message). What a run cut short left under the
    // name is taken away where another file holds all of its text.
    std::string createScratch(FileRunResult& result, std::optional<vimbo::platform::TextWriter>& writer);
    // The failure and its message go to the result (and to stdout, where printed).
    void report(FileRunResult& result, Failure failure, const std::string& message);
    // The one fixed scratch name, where no batch numbers them.
    std::string defaultScratchPath() const;

    // Borrowed from the caller; null runs nothing.
    Vimbo_Params* settings_;
    RewriteOptions options_;
    RunShared shared_;
    const vimbo::platform::FileSystemOps& fs_;
    // Made on first use: what headers say, never a run's results.
    std::unique_ptr<vimbo::analysis::HeaderCache> ownHeaders_;
    std::unique_ptr<vimbo::analysis::GuardAnalyzer> analyzer_;
};

// The directory a file-mode run holds for its output (see HeldDirectory):
// the output's drive and directory, "" for the current one.
std::string heldDirectoryOf(const std::string& outputFile);

}  // namespace vimbo::rewrite
