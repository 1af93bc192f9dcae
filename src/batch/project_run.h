// A batch run over a project as a front end asks for it: the paths checked
// (and with `tree` walked), the build's database read (with no path given,
// the sources it compiles), each file's lookups asked of the compilers, and
// the run itself, verified where asked. What a project's .vimbo.toml says
// comes through its EffectiveSettings.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_observer.h"
#include "batch/batch_run.h"
#include "project/effective_settings.h"
#include "project/project_config.h"

namespace vimbo::batch {

struct ProjectRun {
    BatchMode mode = BatchMode::rewrite;
    vimbo::engine::Strip strip = vimbo::engine::Strip::none;
    bool backup = false;     // a ".Bak" copy of each file rewritten
    bool tree = false;       // directories among `paths` are walked
    bool breakLinks = false;  // the walk takes files with several hard links too
    bool gitIgnore = true;    // the walk leaves out what git ignores
    bool verify = false;      // the build's units preprocessed before and after must agree
    bool allowLineShift = false;
    bool allowUnverified = false;
    unsigned jobs = 0;  // files rewritten at once (0: one per processor)
    // The search path of -i (or else INCLUDE), ";"-joined.
    std::string includePath;
    // Includes never wrapped, besides those a configuration or the build names.
    std::vector<std::string> precompiledHeaders;
    OutputFormat format = OutputFormat::text;
    // Files and directories; none with a database: the sources it compiles.
    std::vector<std::string> paths;
    // The paths came from a list or from git: none is not a request for the database's.
    bool pathsListed = false;
    std::string listName;  // the list's name, when it named no file
};

// Returns the exit status (see runBatch and runVerified); `usageProblem` is
// set (and 2 returned) when the request itself is wrong.
int runProject(const ProjectRun& run, const vimbo::project::EffectiveSettings& effective,
               vimbo::project::ProjectConfigs& configs, BatchObserver& observer, std::string& usageProblem);

}  // namespace vimbo::batch
