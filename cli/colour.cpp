#include "colour.h"

#include <cstdlib>
#include <cstring>

#include "vimbo/engine/terminal.h"

namespace vimbo::cli {

bool colourWanted(ColourChoice choice) {
    if (choice != ColourChoice::automatic) return choice == ColourChoice::always;
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour && *noColour) return false;
    const char* term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0) return false;
    return vimbo::platform::standardOutputShowsColour();
}

std::string colouredDiff(const std::string& diff, const Painter& painter) {
    if (!painter.on) return diff;
    std::string out;
    for (std::size_t at = 0; at < diff.size();) {
        std::size_t end = diff.find('\n', at);
        end = end == std::string::npos ? diff.size() : end;
        const std::string line = diff.substr(at, end - at);
        if (line.rfind("--- ", 0) == 0 || line.rfind("+++ ", 0) == 0) out += painter.bold(line);
        else if (line.rfind("@@", 0) == 0) out += painter.cyan(line);
        else if (!line.empty() && line[0] == '-') out += painter.red(line);
        else if (!line.empty() && line[0] == '+') out += painter.green(line);
        else out += line;
        if (end < diff.size()) out += '\n';
        at = end + 1;
    }
    return out;
}

}  // namespace vimbo::cli
