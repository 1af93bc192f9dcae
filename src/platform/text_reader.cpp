#include "platform/text_reader.h"

namespace vimbo::platform {
namespace {
constexpr std::size_t kBufferSize = 16384;
constexpr char kCtrlZ = 26;
}  // namespace

TextReader::TextReader(const std::string& path) : file_(fileSystem().openRead(path)) {
    if (isOpen()) buffer_.reset(new char[kBufferSize]);
}

TextReader::~TextReader() { close(); }

void TextReader::close() {
    if (file_ != kNoFile) fileSystem().close(file_);
    file_ = kNoFile;
}

bool TextReader::fill() {
    std::int64_t got = fileSystem().read(file_, buffer_.get(), kBufferSize);
    if (got < 0) {
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
    if (!good()) return failed_ ? Status::error : Status::end;
    bool readAny = false;
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

bool TextReader::droppedText() {
    if (crInsideLine_) return true;
    if (!stoppedAtCtrlZ_ || !isOpen()) return false;
    if (pos_ < end_) return true;
    std::int64_t got = fileSystem().read(file_, buffer_.get(), kBufferSize);
    end_ = pos_ = 0;
    return got != 0;
}

}  // namespace vimbo::platform
