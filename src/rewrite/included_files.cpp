#include "vimbo/engine/included_files.h"

#include "analysis/header_cache.h"
#include "analysis/header_finder.h"
#include "analysis/source_scanner.h"
#include "platform/file_system.h"
#include "platform/text_reader.h"

namespace vimbo::engine {

std::vector<std::string> includedFiles(const std::string& path, const Lookup& lookup, std::uint64_t maxFileSize) {
    const auto& fs = vimbo::platform::defaultFileSystemOps();
    vimbo::analysis::HeaderCache cache(fs);
    cache.setMaxFileSize(maxFileSize);
    const vimbo::analysis::HeaderFinder finder(cache);
    const vimbo::analysis::HeaderLookup rules{lookup.searchPath, lookup.quotePath,
                                              vimbo::analysis::LookupRules::compiler, lookup.followable,
                                              lookup.includeStack, lookup.unit};
    vimbo::platform::TextReader input(fs, path);
    vimbo::analysis::SourceScanner scanner;
    std::vector<std::string> found;
    // The size the open found: a file of gigabytes without a line break
    // would be one line held whole.
    vimbo::platform::FileIdentity opened;
    if (input.openedIdentity(opened) && opened.size > maxFileSize) return found;
    std::string line;
    while (input.isOpen() && input.readLine(line) == vimbo::platform::TextReader::Status::line) {
        const vimbo::analysis::ScannedLine scanned = scanner.feed(line);
        // Only a directive the preprocessor sees names a header.
        if (!scanned.startsClean || (line.find('#') == std::string::npos && line.find("%:") == std::string::npos)) continue;
        std::string header = finder.headerOf(line, path, rules);
        // The engine writes paths with "\\"; the front end hands them to the system.
        if (!header.empty()) found.push_back(vimbo::platform::nativePath(header));
    }
    return found;
}

}  // namespace vimbo::engine
