// Reading a file line by line, either keeping every byte (each line's own
// ending is told apart from its text) or in text mode (carriage returns
// dropped, a Ctrl-Z ends the input).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/line_endings.h"

namespace vimbo::platform {

class TextReader {
public:
    enum class Status { line, end, error };
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    // Reads the file through the operations given. With `known`, the
    // version the run learnt the name stands for: the open is not looked at
    // again, and the file must hold exactly that many bytes (more are not
    // read), or the read fails and differsFromKnown() says why.
    TextReader(const FileSystemOps& fs, const std::string& path, LineEndings endings = kSystemLineEndings,
               const FileIdentity* known = nullptr);
    // Reads bytes held in memory as if they were a file's.
    struct Bytes {
        std::string bytes;
    };
    TextReader(Bytes bytes, LineEndings endings);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool isOpen() const { return file_ != kNoFile || inMemory_; }
    // Neither the end of the input nor a hard error has been met.
    bool good() const { return isOpen() && !atEnd_ && !failed_; }
    bool failed() const { return failed_; }
    bool keepsEveryByte() const { return endings_ == LineEndings::kept; }

    // The size of the input as it was opened (0 when unknown), to make room
    // for its text at once: a text grown by doubling holds both buffers at
    // the moment it grows.
    std::size_t sizeHint() const;
    // The identity of the version opened, as learnt with the open (false for
    // text in memory or a file not open).
    bool openedIdentity(FileIdentity& identity) const;
    // How many bytes of the input the lines read so far took up.
    std::uint64_t offset() const { return (inMemory_ ? memoryPos_ : read_) - (end_ - pos_); }
    // The read failed because the file is not the size of the known version.
    bool differsFromKnown() const { return differs_; }

    // Reads up to the next line break, which is consumed and not stored, or
    // until maxChars characters are stored; in that case the next character
    // is left unread. Status::end when the input ends before any character.
    Status readLine(std::string& line, std::size_t maxChars = kNoLimit);
    // The line break that ended the line last read: "\n" or "\r\n" as the
    // file holds it, "" for a last line without one or a piece cut at
    // maxChars. In text mode always "\n", which a text-mode writer puts out
    // as CR LF: every line read there ends in a line break.
    const char* ending() const { return ending_; }

    // Where every byte is kept: all the input has left, as it is, handed to
    // `take` a buffer at a time (never held whole). Status::error when a
    // read failed.
    Status readRest(const std::function<void(std::string_view)>& take);

    // After the end was reached: whether text mode threw text away, that is a
    // carriage return inside a line or bytes behind the Ctrl-Z that ended it.
    // Never when every byte is kept.
    bool droppedText();

    void close();

private:
    bool fill();
    Status readKept(std::string& line, std::size_t maxChars);
    Status readTextMode(std::string& line, std::size_t maxChars);

    const FileSystemOps* fs_ = nullptr;
    LineEndings endings_;
    const char* ending_ = "";
    FileHandle file_ = kNoFile;
    FileIdentity opened_;
    bool openedKnown_ = false;
    bool sizeKnown_ = false, differs_ = false;  // held to opened_.size
    bool knownEndMet_ = false;                  // no read more is needed
    std::uint64_t read_ = 0;
    bool inMemory_ = false;
    std::string memory_;
    std::size_t memoryPos_ = 0;
    std::unique_ptr<char[]> buffer_;  // not zero-filled: headers are opened often
    std::size_t pos_ = 0, end_ = 0;
    bool atEnd_ = false, failed_ = false;
    bool stoppedAtCtrlZ_ = false, pendingCr_ = false, crInsideLine_ = false;
};

}  // namespace vimbo::platform
