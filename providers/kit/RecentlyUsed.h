// A few values kept by a text key, the one used longest ago dropped first: what a connection
// remembers of its latest queries.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::kit {

template <typename Value, std::size_t Most> class RecentlyUsed {
public:
    static_assert(Most > 0);

    // The value kept under key, now the most recently used; nullptr when none is.
    Value* find(const std::string& key) {
        const auto at = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const auto& entry) { return entry.first == key; });
        if (at == entries_.end())
            return nullptr;
        std::rotate(entries_.begin(), at, at + 1);
        return &entries_.front().second;
    }
    void keep(const std::string& key, Value value) {
        if (Value* kept = find(key)) {
            *kept = std::move(value);
            return;
        }
        if (entries_.size() == Most)
            entries_.pop_back();
        entries_.emplace(entries_.begin(), key, std::move(value));
    }
    void forget(const std::string& key) {
        std::erase_if(entries_, [&](const auto& entry) { return entry.first == key; });
    }
    std::size_t size() const { return entries_.size(); }

private:
    std::vector<std::pair<std::string, Value>> entries_; // most recently used first
};

} // namespace vantrel::kit
