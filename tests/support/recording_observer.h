// A batch observer that keeps what it is told, for tests to read: the run's
// messages, output and summaries as text, and the files shown in order.
#pragma once

#include <string>
#include <vector>

#include "vimbo/engine/batch_observer.h"

namespace vimbo::test {

class RecordingObserver : public vimbo::engine::BatchObserver {
public:
    std::string messages;   // notes, warnings, failures
    std::string documents;  // what goes to the results' reader
    std::string summaries;  // the counts, and a verification's verdict
    std::vector<std::string> shownFiles;
    std::size_t progressSteps = 0;

    void progressBegun(std::size_t, const char*) override {}
    void progressMade(std::size_t) override { ++progressSteps; }
    void progressEnded() override {}
    void message(const std::string& lines) override { messages += lines; }
    void output(const std::string& text) override { documents += text; }
    void shown(const vimbo::engine::ShownFile& file) override { shownFiles.push_back(file.path); }
    void summary(const std::string& line, bool) override { summaries += line; }
    bool stillRead() override { return true; }
};

}  // namespace vimbo::test
