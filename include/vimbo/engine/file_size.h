// Sizes of files as a user writes them: bytes, or with a K, M or G behind
// (1024, 1024², 1024³), as --max-file-size and .vimbo.toml take them; a
// front end reads and shows them the way a configuration file does.
#pragma once

#include <cstdint>
#include <string>

namespace vimbo::engine {

// "65536", "64K", "64M", "1G" (the letters in either case); false for
// anything else, for 0 and for a size past 2^64.
bool parseFileSize(const std::string& text, std::uint64_t& bytes);

// The size as parseFileSize reads it back: with the largest letter that
// divides it ("64M"), else in bytes.
std::string fileSizeText(std::uint64_t bytes);

}  // namespace vimbo::engine
