// What one pass of the rewriting loop found.
#pragma once

struct RewriteOutcome {
    bool changed = false;       // at least one include line was guarded
    bool ioError = false;       // a hard read or write error
    bool droppedText = false;   // text mode would lose text beyond the guards
    bool mayWrapMore = false;   // another pass over the output might guard more
};
