// Batch runs for a front end: what a run over a project is asked to do,
// and the call that does it. How the run is shown is the observer's
// (batch_observer.h); the exit status is the command's.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "vimbo/engine/batch_observer.h"
#include "vimbo/engine/file_rewriter.h"

namespace vimbo::engine {

class EffectiveSettings;

enum class BatchMode { rewrite, check, diff, audit };

// How findings are shown: text for people (through the observer), or a
// document for tools.
enum class OutputFormat { text, json, sarif };

// What the front end set for the run, which wins over a .vimbo.toml; empty
// and false stand for "not given".
struct ProjectSettings {
    bool includeGiven = false;  // -i or -I was given (it may name an empty path)
    std::vector<std::string> extensions;
    std::vector<std::string> exclusions;
    std::vector<std::string> precompiledHeaders;
    std::string buildDirectory;
    std::string compiler;
    std::optional<bool> keepLines;  // --keep-lines, --no-keep-lines
    std::optional<bool> strict;     // --strict, --no-strict
    std::uint64_t maxFileSize = 0;
    // --config FILE: that file in place of the .vimbo.toml files found
    // upward; --no-config: none.
    std::string configFile;
    bool noConfig = false;
};

// A run over files and directories of the project in the current directory.
struct BatchRequest {
    BatchMode mode = BatchMode::rewrite;
    Strip strip = Strip::none;
    bool backup = false;     // a ".Bak" copy of each file rewritten
    bool tree = false;       // directories among `paths` are walked
    bool breakLinks = false;  // the walk takes files with several hard links too
    bool gitIgnore = true;    // the walk leaves out what git ignores
    // Files named, too, are taken only with one of the extensions (for a
    // hook that names every staged file).
    bool forceExtensions = false;
    bool verify = false;      // the build's units preprocessed before and after must agree
    bool allowLineShift = false;
    bool allowUnverified = false;
    unsigned jobs = 0;  // files rewritten at once (0: one per processor)
    // The search path of -i (or else INCLUDE), ";"-joined.
    std::string includePath;
    OutputFormat format = OutputFormat::text;
    // Files and directories; none with a database: the sources it compiles.
    std::vector<std::string> paths;
    // The paths came from a list or from git: none is not a request for the database's.
    bool pathsListed = false;
    std::string listName;  // the list's name, when it named no file
    // An editor's buffer: the text of the one file in `paths`, read in place
    // of its own; the run writes nothing and hands the whole new text (the
    // same when nothing would change) to the observer's output.
    std::optional<std::string> givenText;
    // Files read as these texts in place of their own (path, text): the
    // staged text of a commit a dry run is to judge. Dry runs only.
    std::vector<std::pair<std::string, std::string>> textsInPlace;
    // Only include lines on these lines of each file (see RewriteSettings).
    std::shared_ptr<const std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>>> onlyLines;
};

// Runs `request` with the .vimbo.toml files of the project applying
// (`settings` winning over them). Returns the exit status: rewrite 0 or 1
// (failures); check and diff 0 (none would change), 1 (some would), 2 (an
// error); audit 0 (every external guard is right), 1, 2; 128 + a signal.
// `usageProblem` is set (and 2 returned) when the request itself is wrong.
int runProject(const BatchRequest& request, const ProjectSettings& settings, BatchObserver& observer,
               std::string& usageProblem);
// The same with the settings a front end already asked of the project
// (effective_settings.h): the configuration files they read stay read, and
// the run reads the rest into them.
int runProject(const BatchRequest& request, EffectiveSettings& settings, BatchObserver& observer,
               std::string& usageProblem);

// The document of a run that made none: one with nothing to do, or one
// stopped before its files (a usage error, a broken configuration), whose
// `errors` a SARIF log gives as notifications of an unsuccessful invocation.
// JSON "[]"; the text format, "".
std::string documentWithout(OutputFormat format, BatchMode mode, Strip strip, const std::vector<std::string>& errors);

}  // namespace vimbo::engine
