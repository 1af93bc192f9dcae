// An editor's buffer checked as the file it stands for: the run reads the
// text given in place of the file's, in that file's directory and with its
// configuration, writes nothing, and shows the whole new text (the same
// text when nothing would change) on the observer's output.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_run.h"

namespace vimbo::batch {

// `settings`: a dry run's. The status is 0 when the text was shown, else 2.
int runBuffer(BatchSettings settings, const std::string& path, const std::string& text,
              const std::vector<vimbo::project::SkippedFile>& skipped, vimbo::engine::BatchObserver& observer);

}  // namespace vimbo::batch
