#include "platform/text_writer.h"

namespace vimbo::platform {
namespace {
constexpr std::size_t kFlushAt = 65536;
}

namespace {
FileHandle opened(const FileSystemOps& fs, const std::string& path, TextWriter::Create how,
                  const FileIdentity* expected) {
    switch (how) {
        case TextWriter::Create::newOnly:
            return fs.createNew(path);
        case TextWriter::Create::overwrite:
            return expected ? fs.openOverwrite(path, *expected) : kNoFile;
        case TextWriter::Create::truncate:
            break;
    }
    return fs.createTruncate(path, expected);
}
}  // namespace

TextWriter::TextWriter(const FileSystemOps& fs, const std::string& path, Create how, LineEndings endings,
                       const FileIdentity* expected)
    : fs_(&fs),
      endings_(endings),
      file_(opened(fs, path, how, expected)),
      overwriting_(how == Create::overwrite),
      oldSize_(expected ? expected->size : 0) {}

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
    written_ += pending_.size();
    pending_.clear();
}

bool TextWriter::sync() {
    if (sink_) return !failed_;
    flush();
    cutOldText();
    if (isOpen() && !failed_ && !fs_->sync(file_)) failed_ = true;
    return isOpen() && !failed_;
}

bool TextWriter::close() {
    if (!isOpen()) return !failed_;
    flush();
    if (sink_) {
        sink_ = nullptr;
        return !failed_;
    }
    cutOldText();
    if (!fs_->close(file_)) failed_ = true;
    file_ = kNoFile;
    return !failed_;
}

void TextWriter::cutOldText() {
    // Only a file longer than what was written is cut: a cut to its own
    // size is still a change the file system makes a record of.
    if (!overwriting_ || failed_ || !isOpen() || oldSize_ <= written_) return;
    if (!fs_->setSize(file_, written_)) failed_ = true;
    oldSize_ = written_;
}

}  // namespace vimbo::platform
