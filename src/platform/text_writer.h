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
    // newOnly: a file that must not exist yet; truncate: created or cut to
    // nothing; overwrite: the file `expected` written over, and cut at the
    // end only where it was longer (see FileSystemOps::xOpenOverwrite).
    enum class Create { newOnly, truncate, overwrite };

    // Writes the file through the operations given; truncating or
    // overwriting, only the file `expected` when one is.
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
    // Puts everything written so far on disk (past the system's caches);
    // false when it may not be there.
    bool sync();
    // Flushes and closes; false when anything written may be lost.
    bool close();

private:
    void flush();
    void cutOldText();

    const FileSystemOps* fs_ = nullptr;
    LineEndings endings_;
    FileHandle file_ = kNoFile;
    std::string* sink_ = nullptr;
    std::string pending_;
    bool failed_ = false;
    // Written over: its size before, and how much was written since.
    bool overwriting_ = false;
    std::uint64_t oldSize_ = 0, written_ = 0;
};

}  // namespace vimbo::platform
