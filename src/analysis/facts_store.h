// The facts of the headers read, kept by the identity of the version each
// was read from and the base name it was read under.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "analysis/header_facts.h"
#include "platform/file_system.h"

namespace vimbo::analysis {

class FactsStore {
public:
    // A store that outlives runs keeps only settled versions, and at most
    // kMaxProcessEntries: files outside the process may change at any time.
    explicit FactsStore(bool acrossRuns) : acrossRuns_(acrossRuns) {}

    // The facts kept of that very version, or null.
    std::shared_ptr<const HeaderFacts> factsOf(const std::string& baseName,
                                               const vimbo::platform::FileIdentity& version) const;
    // The identity of the version of the file (device, file) whose facts are
    // kept under that base name: false when none are.
    bool versionKept(const std::string& baseName, std::uint64_t device, std::uint64_t file,
                     vimbo::platform::FileIdentity& identity) const;
    // Keeps facts under the identity of the version they were read from
    // (for a store across runs, only settled versions); returns them. The
    // facts hold that identity, to tell a later version apart.
    std::shared_ptr<const HeaderFacts> remember(const std::string& baseName,
                                                const vimbo::platform::FileIdentity& identity,
                                                std::shared_ptr<HeaderFacts> facts);

private:
    // Discovery compares macros with the base name, so a file reached under
    // two names has an entry for each name: the key holds a 64-bit hash of
    // it (a run keeps a hundred thousand entries; two names of one file
    // whose hashes agree are not to be met).
    struct Key {
        std::uint64_t device, file, name;
        bool operator==(const Key& other) const {
            return device == other.device && file == other.file && name == other.name;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            return static_cast<std::size_t>(key.file * 0x9E3779B97F4A7C15ull ^ key.device ^ key.name);
        }
    };
    static Key keyOf(const vimbo::platform::FileIdentity& identity, const std::string& baseName);
    static constexpr std::size_t kMaxProcessEntries = 100000;
    const bool acrossRuns_;
    mutable std::mutex lock_;
    std::unordered_map<Key, std::shared_ptr<const HeaderFacts>, KeyHash> entries_;
};

}  // namespace vimbo::analysis
