#include "platform/text_reader.h"

#include <algorithm>
#include <cstring>

namespace vimbo::platform {
namespace {
constexpr std::size_t kBufferSize = 16384;
constexpr char kCtrlZ = 26;
}  // namespace

TextReader::TextReader(const FileSystemOps& fs, const std::string& path, LineEndings endings,
                       const FileIdentity* known)
    : fs_(&fs), endings_(endings), file_(fs.openRead(path, known)) {
    if (!isOpen()) return;
    buffer_.reset(new char[kBufferSize]);
    if (known) {
        opened_ = *known;
        openedKnown_ = sizeKnown_ = true;
        return;
    }
    // Asked before anything is read, the open's own look answers.
    openedKnown_ = fs.handleIdentity(file_, opened_);
}

TextReader::TextReader(Bytes bytes, LineEndings endings)
    : endings_(endings), inMemory_(true), memory_(std::move(bytes.bytes)), buffer_(new char[kBufferSize]) {}

TextReader::~TextReader() { close(); }

std::size_t TextReader::sizeHint() const {
    if (inMemory_) return memory_.size();
    return openedKnown_ ? static_cast<std::size_t>(opened_.size) : 0;
}

bool TextReader::openedIdentity(FileIdentity& identity) const {
    if (openedKnown_) identity = opened_;
    return openedKnown_;
}

void TextReader::close() {
    if (file_ != kNoFile) fs_->close(file_);
    file_ = kNoFile;
}

bool TextReader::fill() {
    std::int64_t got;
    if (inMemory_) {
        got = static_cast<std::int64_t>(std::min(kBufferSize, memory_.size() - memoryPos_));
        memory_.copy(buffer_.get(), static_cast<std::size_t>(got), memoryPos_);
        memoryPos_ += static_cast<std::size_t>(got);
    } else {
        // One byte past the known size is enough to tell another version.
        const std::uint64_t room = sizeKnown_ ? opened_.size - std::min(read_, opened_.size) + 1 : kBufferSize;
        const auto asked = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, room));
        got = knownEndMet_ ? 0 : fs_->read(file_, buffer_.get(), asked);
        if (got > 0) read_ += static_cast<std::uint64_t>(got);
        // A read that stops short right at the known size has met the end.
        knownEndMet_ = sizeKnown_ && got > 0 && read_ == opened_.size && static_cast<std::size_t>(got) < asked;
        if (sizeKnown_ && (got > 0 ? read_ > opened_.size : got == 0 && read_ != opened_.size)) differs_ = true;
    }
    if (got < 0 || differs_) {
        failed_ = true;
        return false;
    }
    if (got == 0) {
        atEnd_ = true;
        return false;
    }
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
}

TextReader::Status TextReader::readLine(std::string& line, std::size_t maxChars) {
    line.clear();
    ending_ = "";
    if (!good()) return failed_ ? Status::error : Status::end;
    return endings_ == LineEndings::kept ? readKept(line, maxChars) : readTextMode(line, maxChars);
}

// Every byte is text except the line feed that ends a line and a carriage
// return right before it.
TextReader::Status TextReader::readKept(std::string& line, std::size_t maxChars) {
    bool readAny = false;
    while (line.size() < maxChars) {
        if (pos_ == end_ && !fill()) break;
        readAny = true;
        const std::size_t room = std::min(end_ - pos_, maxChars - line.size());
        const char* start = buffer_.get() + pos_;
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', room));
        if (!feed) {
            line.append(start, room);
            pos_ += room;
            continue;
        }
        line.append(start, static_cast<std::size_t>(feed - start));
        pos_ += static_cast<std::size_t>(feed - start) + 1;
        ending_ = "\n";
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            ending_ = "\r\n";
        }
        return Status::line;
    }
    if (failed_) return Status::error;
    return readAny ? Status::line : Status::end;
}

TextReader::Status TextReader::readTextMode(std::string& line, std::size_t maxChars) {
    bool readAny = false;
    ending_ = "\n";
    while (line.size() < maxChars) {
        if (pos_ == end_ && !fill()) break;
        char c = buffer_[pos_];
        if (c == kCtrlZ) {
            stoppedAtCtrlZ_ = true;
            atEnd_ = true;
            ++pos_;
            break;
        }
        ++pos_;
        if (c == '\r') {  // dropped as if it had never been there
            // Of CR CR LF only the last CR belongs to the line break.
            if (pendingCr_) crInsideLine_ = true;
            pendingCr_ = true;
            continue;
        }
        readAny = true;
        if (c == '\n') {
            pendingCr_ = false;
            return Status::line;
        }
        if (pendingCr_) crInsideLine_ = true;
        pendingCr_ = false;
        line.push_back(c);
    }
    if (failed_) return Status::error;
    return readAny ? Status::line : Status::end;
}

TextReader::Status TextReader::readRest(const std::function<void(std::string_view)>& take) {
    while (good() && (pos_ < end_ || fill())) {
        take(std::string_view(buffer_.get() + pos_, end_ - pos_));
        pos_ = end_;
    }
    return failed_ ? Status::error : Status::end;
}

bool TextReader::droppedText() {
    if (crInsideLine_) return true;
    if (!stoppedAtCtrlZ_ || !isOpen()) return false;
    if (pos_ < end_) return true;
    if (inMemory_) return memoryPos_ < memory_.size();
    std::int64_t got = fs_->read(file_, buffer_.get(), kBufferSize);
    end_ = pos_ = 0;
    return got != 0;
}

}  // namespace vimbo::platform
