// The command's own long options. They are taken out of the command line
// before the rest is read as the library's arguments, and never passed on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vimbo/engine/batch.h"

namespace vimbo::cli {

enum class ColourChoice { automatic, always, never };

struct FrontEndOptions {
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool tree = false;   // the file arguments are directories to walk
    bool check = false;  // change nothing; list what would be rewritten
    bool diff = false;   // change nothing; print the rewrite as a unified diff
    bool breakLinks = false;  // --tree takes files with several hard links too
    bool strict = false;      // warnings (a missing include directory) are errors
    bool audit = false;       // change nothing; report external guards that are wrong
    bool strip = false;       // take external guards away instead of adding them
    bool stripWrong = false;  // take away only the wrong ones
    bool verify = false;      // the build's units preprocessed before and after must agree
    bool allowLineShift = false;   // --verify takes units whose __LINE__ moved as unchanged
    bool allowUnverified = false;  // --verify keeps a rewrite some units could not check
    bool keepLines = false;        // a #line after each block of wraps keeps the lines' numbers
    bool keepLinesOff = false;     // --no-keep-lines: not even where a configuration asks
    bool strictOff = false;        // --no-strict
    std::string assumeFilename;    // --assume-filename NAME: the file standard input stands for
    bool standardInput = false;    // "-": the text comes on standard input, the new text goes out
    std::string configFile;        // --config FILE: in place of the .vimbo.toml files
    bool noConfig = false;         // --no-config: no .vimbo.toml at all
    std::vector<std::string> extensions;  // --ext, repeatable; empty: the defaults
    std::vector<std::string> exclusions;  // --exclude, repeatable
    bool gitIgnore = true;                // --no-git-ignore turns it off
    bool forceExtensions = false;         // --force-extensions: named files need one of the extensions too
    std::vector<std::string> precompiledHeaders;  // --pch, repeatable: includes never wrapped
    unsigned jobs = 0;                    // -j N: files rewritten at once (0: one per processor)
    std::string buildDirectory;           // -p: where compile_commands.json lies
    std::string compiler;                 // --compiler: asked for its search list without -p
    std::string filesFrom;                // --files-from: more paths, one per line ("-": standard input)
    std::uint64_t maxFileSize = 0;        // --max-file-size: larger files are skipped (0: not given)
    vimbo::engine::OutputFormat format = vimbo::engine::OutputFormat::text;  // --format: findings for people or for tools
    bool formatGiven = false;
    bool verbose = false;                 // --check names each include line, not only the file
    ColourChoice colour = ColourChoice::automatic;  // --color
    std::string since;                    // --since REF: the files git reports changed since REF
    bool staged = false;                  // --staged: the files changed in git's index
    bool changedLinesOnly = false;        // --lines-since REF: only the lines changed since REF
    std::string printConfig;              // --print-config FILE: the settings that apply to FILE
    bool printConfigLater = false;        // --print-config before other options: FILE is the first file
    // Which options the command line gave, so that they win over a
    // configuration file's.
    bool includeGiven = false;  // -i or -I was given (it may name an empty path)
    std::string error;                    // set for a usage error
    std::vector<const char*> arguments;   // what is left for the library
    // Words made from the command line's ("-Iinc" gives "inc"), which
    // `arguments` points into; shared, so that copies point into them too.
    std::vector<std::shared_ptr<const std::string>> heldWords;
    // Words of `arguments` that begin with "-" but are no option, before
    // "--": file names to the library, typos to a batch run.
    std::vector<std::string> unknownWords;
};

// Long options may stand anywhere before "-t"/"-T" (whose line takes the rest
// of the command line) and before "--", which ends them; the value of
// "-i"/"-I" is never taken for one.
FrontEndOptions readFrontEndOptions(int count, const char* const* args);

// What the options say that a project's configuration may also say.
vimbo::engine::ProjectSettings commandLineSettingsOf(const FrontEndOptions& options);

// The option a mistyped word most likely meant ("-check": "--check").
std::string nearestOption(const std::string& word);

}  // namespace vimbo::cli
