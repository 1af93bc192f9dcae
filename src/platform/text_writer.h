// Writing a file: in text mode every line break goes out as CR LF; otherwise
// the bytes go out as they are given, line endings included.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/line_endings.h"

namespace vimbo::platform {

class TextWriter {
public:
    enum class Create { newOnly, truncate };

    // Writes the file through the operations given; truncating, only the
    // file `expected` when one is (see FileSystemOps::xCreateTruncate).
    TextWriter(const FileSystemOps& fs, const std::string& path, Create how, LineEndings endings = kSystemLineEndings,
               const FileIdentity* expected = nullptr);
    // Writes into `sink` instead of a file.
    TextWriter(std::string& sink, LineEndings endings);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    bool isOpen() const { return file_ != kNoFile || sink_; }
    // A write or the final flush failed; the flag stays set.
    bool failed() const { return failed_; }

    void write(std::string_view text);
    // Flushes and closes; false when anything written may be lost.
    bool close();

private:
    void flush();

    const FileSystemOps* fs_ = nullptr;
    LineEndings endings_;
    FileHandle file_ = kNoFile;
    std::string* sink_ = nullptr;
    std::string pending_;
    bool failed_ = false;
};

}  // namespace vimbo::platform
