// A batch run over a project as a front end asks for it: the paths checked
// (and with `tree` walked), the build's database read (with no path given,
// the sources it compiles), each file's lookups asked of the compilers, and
// the run itself, verified where asked. What a project's .vimbo.toml says
// comes through its EffectiveSettings.
#pragma once

#include <string>
#include <vector>

#include "vimbo/engine/batch.h"
#include "vimbo/engine/batch_observer.h"
#include "batch/batch_run.h"
#include "project/effective_settings.h"
#include "project/project_config.h"

namespace vimbo::batch {


// Returns the exit status (see runBatch and runVerified); `usageProblem` is
// set (and 2 returned) when the request itself is wrong.
int runProject(const vimbo::engine::BatchRequest& run, const vimbo::project::EffectiveSettings& effective,
               vimbo::project::ProjectConfigs& configs, vimbo::engine::BatchObserver& observer, std::string& usageProblem);

}  // namespace vimbo::batch
