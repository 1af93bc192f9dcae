// What one pass of the rewriting loop found, and what file mode would do to a
// file, computed without touching it.
#pragma once

#include <string>
#include <vector>

struct RewriteOutcome {
    unsigned char changed = 0;  // at least one include line was guarded
    bool ioError = false;       // a hard read or write error
    bool droppedText = false;   // text mode would lose text beyond the guards
};

struct FilePreview {
    bool opened = false;        // the input could be opened
    bool isLink = false;        // file mode never replaces a link
    RewriteOutcome outcome;
    std::string text;           // the bytes file mode would write
    std::vector<bool> wrapped;  // for each line read: whether it was guarded

    bool failed() const { return !opened || outcome.ioError || (outcome.changed && (outcome.droppedText || isLink)); }
    bool wouldRewrite() const { return !failed() && outcome.changed; }
};
