#include "vimbo/engine/text_in_place.h"

#include "platform/file_system.h"
#include "platform/memory_overlay.h"

namespace vimbo::engine {

TextInPlace::TextInPlace(const std::string& path, const std::string& text, const vimbo::platform::FileSystemOps* below)
    : TextInPlace(std::vector<std::pair<std::string, std::string>>{{path, text}}, below) {}

TextInPlace::TextInPlace(const std::vector<std::pair<std::string, std::string>>& texts,
                         const vimbo::platform::FileSystemOps* below)
    // Through a linked directory (an include directory that is a link) the
    // text is still the one in place.
    : overlay_(std::make_unique<vimbo::platform::MemoryOverlay>(
          below ? *below : vimbo::platform::defaultFileSystemOps(), true)) {
    const vimbo::platform::FileSystemOps& fs = overlay_->ops();
    for (const auto& [path, text] : texts) {
        const vimbo::platform::FileHandle file = fs.createTruncate(path, nullptr);
        if (file == vimbo::platform::kNoFile) return;
        const bool written = fs.write(file, text.data(), text.size());
        if (!fs.close(file) || !written) return;
    }
    placed_ = true;
}

TextInPlace::~TextInPlace() = default;

const vimbo::platform::FileSystemOps& TextInPlace::ops() const { return overlay_->ops(); }

}  // namespace vimbo::engine
