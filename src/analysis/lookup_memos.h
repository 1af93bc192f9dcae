// What a run has already worked out of its lookups: where a name was found,
// a header's verdict, and a number for each lookup's search paths and rules.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vimbo::analysis {

// Thread-safe. The memos are asked at every include by every job: each has
// a lock of its own, apart from the one over the files' facts.
class LookupMemos {
public:
    // Numbers from 0, one per distinct context.
    std::uint32_t contextNumber(const std::string& context);
    // The first value remembered for a key wins.
    bool knownLookup(const std::string& key, std::string& path) const { return lookups_.known(key, path); }
    void rememberLookup(const std::string& key, const std::string& path) { lookups_.remember(key, path); }
    bool knownVerdict(const std::string& key, std::string& verdict) const { return verdicts_.known(key, verdict); }
    void rememberVerdict(const std::string& key, const std::string& verdict) { verdicts_.remember(key, verdict); }

private:
    class Memo {
    public:
        bool known(const std::string& key, std::string& value) const;
        void remember(const std::string& key, const std::string& value);

    private:
        std::unordered_map<std::string, std::string> values_;
        mutable std::mutex lock_;
    };
    Memo verdicts_, lookups_;
    std::unordered_map<std::string, std::uint32_t> contexts_;
    std::mutex contextsLock_;
};

}  // namespace vimbo::analysis
