// "done of total files" on standard error, only when it is a terminal.
#pragma once

#include <cstddef>

namespace vimbo::cli {

class Progress {
public:
    explicit Progress(std::size_t total, const char* what = "files");
    ~Progress();
    void done(std::size_t count);
    // Takes the line away before other output; the next count shows it again.
    void clear();

private:
    std::size_t total_;
    const char* what_;
    bool shown_;
    bool cleared_ = false;
};

}  // namespace vimbo::cli
