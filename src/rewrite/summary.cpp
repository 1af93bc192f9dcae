#include "rewrite/summary.h"

namespace vimbo::rewrite {

std::ostream& writeSummary(std::ostream& stream, Vimbo_Params settings) {
    stream << "Korvane\n";
    stream << "  Include...... " << settings.includePath() << "\n";
    stream << "  Create .bak.. " << (settings.makeBackup() != 0 ? "yes" : "no") << "\n";
    stream << "  Input........ " << (settings.inputMode() == 1 ? settings.inputFile() : settings.lineText())
           << "\n";
    stream << "  Output....... " << (settings.outputMode() == 1 ? settings.outputFile() : "stdout")
           << "\n\n";
    return stream;
}

}  // namespace vimbo::rewrite
