// Reading a file in text mode, the same on every platform: carriage returns
// are dropped and a Ctrl-Z (byte 26) ends the input.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace vimbo::platform {

class TextReader {
public:
    enum class Status { line, end, error };
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    explicit TextReader(const std::string& path);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool isOpen() const { return file_ != kNoFile; }
    // Neither the end of the input nor a hard error has been met.
    bool good() const { return isOpen() && !atEnd_ && !failed_; }
    bool failed() const { return failed_; }

    // Reads up to the next line break, which is consumed and not stored, or
    // until maxChars characters are stored; in that case the next character
    // is left unread. Status::end when the input ends before any character.
    Status readLine(std::string& line, std::size_t maxChars = kNoLimit);

    // After the end was reached: whether text mode threw text away, that is a
    // carriage return inside a line or bytes behind the Ctrl-Z that ended it.
    bool droppedText();

    void close();

private:
    bool fill();

    FileHandle file_ = kNoFile;
    std::unique_ptr<char[]> buffer_;  // not zero-filled: headers are opened often
    std::size_t pos_ = 0, end_ = 0;
    bool atEnd_ = false, failed_ = false;
    bool stoppedAtCtrlZ_ = false, pendingCr_ = false, crInsideLine_ = false;
};

}  // namespace vimbo::platform
