// The settings of a run as a short block of labelled lines.
#pragma once

#include <ostream>

#include "interface/vimbo_params.h"

std::ostream& writeSummary(std::ostream& stream, Vimbo_Params settings);
