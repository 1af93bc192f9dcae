// ANSI colour for what people read on a terminal: --color=auto|always|never,
// and NO_COLOR (https://no-color.org) for "auto".
#pragma once

#include <string>

#include "front_end_options.h"

namespace vimbo::cli {

// Whether standard output gets colour.
bool colourWanted(ColourChoice choice);

struct Painter {
    bool on = false;
    std::string bold(const std::string& text) const { return paint("1", text); }
    std::string red(const std::string& text) const { return paint("31", text); }
    std::string green(const std::string& text) const { return paint("32", text); }
    std::string cyan(const std::string& text) const { return paint("36", text); }
    std::string paint(const char* code, const std::string& text) const {
        return on ? "\x1b[" + std::string(code) + "m" + text + "\x1b[m" : text;
    }
};

// A unified diff coloured as git colours one: headers bold, hunk lines cyan,
// removed lines red, added ones green.
std::string colouredDiff(const std::string& diff, const Painter& painter);

}  // namespace vimbo::cli
