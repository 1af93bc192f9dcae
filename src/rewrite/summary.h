// The settings of a run as a short block of labelled lines.
#pragma once

#include <ostream>

#include "rewrite/settings.h"

namespace vimbo::rewrite {

std::ostream& writeSummary(std::ostream& stream, Vimbo_Params settings);

}  // namespace vimbo::rewrite
