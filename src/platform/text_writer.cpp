#include "platform/text_writer.h"

namespace vimbo::platform {
namespace {
constexpr std::size_t kFlushAt = 65536;
}

TextWriter::TextWriter(const FileSystemOps& fs, const std::string& path, Create how, LineEndings endings,
                       const FileIdentity* expected)
    : fs_(&fs),
      endings_(endings),
      file_(how == Create::newOnly ? fs.createNew(path) : fs.createTruncate(path, expected)) {}

TextWriter::TextWriter(std::string& sink, LineEndings endings) : endings_(endings), sink_(&sink) {}

TextWriter::~TextWriter() { close(); }

void TextWriter::write(std::string_view text) {
    if (!isOpen() || failed_) return;
    // Text for memory goes straight to its string, which the caller sized.
    std::string& to = sink_ ? *sink_ : pending_;
    if (endings_ == LineEndings::kept) {
        to.append(text);
    } else {
        for (char c : text) {
            if (c == '\n') to.push_back('\r');
            to.push_back(c);
        }
    }
    if (!sink_ && pending_.size() >= kFlushAt) flush();
}

void TextWriter::flush() {
    if (sink_) return;
    if (!pending_.empty() && !failed_ && !fs_->write(file_, pending_.data(), pending_.size()))
        failed_ = true;
    pending_.clear();
}

bool TextWriter::close() {
    if (!isOpen()) return !failed_;
    flush();
    if (sink_) {
        sink_ = nullptr;
        return !failed_;
    }
    if (!fs_->close(file_)) failed_ = true;
    file_ = kNoFile;
    return !failed_;
}

}  // namespace vimbo::platform
