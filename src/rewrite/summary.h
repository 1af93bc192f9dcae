// The settings of a run as a short block of labelled lines.
#pragma once

#include <ostream>

#include "rewrite/settings.h"

std::ostream& writeSummary(std::ostream& stream, Vimbo_Params settings);
