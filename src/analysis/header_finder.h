// Finding the header an include names, under a lookup's rules.
#pragma once

#include <string>

#include "analysis/header_cache.h"
#include "analysis/header_lookup.h"
#include "analysis/include_kind.h"
#include "analysis/path_spelling.h"
#include "platform/file_system.h"

namespace vimbo::analysis {

// The library's search: each entry of `searchPath` ("\\" added where it
// lacks one) followed by the name, every "/" made "\\"; an absolute name only
// where it points. Only when no entry holds the name as written, an angle
// name without "." is tried again with ".h". "" when nothing is found.
std::string searchIncludePath(const vimbo::platform::FileSystemOps& fs, const std::string& name,
                              const std::string& searchPath, IncludeKind kind);

class HeaderFinder {
public:
    // Lookups are remembered in `cache`, for the run it serves.
    explicit HeaderFinder(HeaderCache& cache) : cache_(cache), fs_(cache.fileSystem()) {}

    // The library's rules: the header a line names, or "".
    std::string locateIncludeFile(const std::string& line, const HeaderLookup& lookup) const;
    // A compiler's rules: where `name`, included by `includer`, is found.
    std::string findLikeCompiler(const std::string& name, bool quoted, const std::string& includer,
                                 const HeaderLookup& lookup) const;
    // A compiler's "#include_next": the search goes on, for either kind of
    // name, in the directories after the one `includer` was found in (the
    // quote path's, then the search path's). "" unless the includer lies in
    // exactly one of them (told by identity: a link in another is another).
    std::string findNextLikeCompiler(const std::string& name, const std::string& includer,
                                     const HeaderLookup& lookup) const;
    // The first `name` along the quote path and then the search path: what
    // "#include_next" finds in a file reached beside another one.
    std::string firstInChain(const std::string& name, const HeaderLookup& lookup) const;
    // The header a line of `includer` names, by the lookup's own rules; ""
    // when a macro names it or none is found.
    std::string headerOf(const std::string& line, const std::string& includer, const HeaderLookup& lookup) const;

    HeaderCache& cache() const { return cache_; }
    const vimbo::platform::FileSystemOps& fileSystem() const { return fs_; }

private:
    std::string lookUp(const std::string& name, bool quoted, const std::string& includerDirectory,
                       const HeaderLookup& lookup, bool bottomOfStack) const;
    bool isRegularFile(const std::string& path) const;
    std::string firstAlong(const std::string& searchPath, const std::string& name) const;

    HeaderCache& cache_;
    const vimbo::platform::FileSystemOps& fs_;
};

}  // namespace vimbo::analysis
