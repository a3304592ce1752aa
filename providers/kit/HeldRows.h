// The rows of a rowset the consumer holds, with their reference counts.
#pragma once

#include "KitCom.h"
#include "SmallVector.h"

#include <algorithm>
#include <cstddef>

namespace vantrel::kit {

// A flat list sorted by row. Rows are mostly taken in the order they are fetched, so a new one
// usually goes at the end; a consumer holds few rows at a time, so the first few are kept
// without an allocation.
class HeldRows {
public:
    struct Entry {
        std::size_t row;
        DBREFCOUNT references;
    };

    // The row's entry, or nullptr when it is not held.
    Entry* entry(std::size_t row) {
        auto it = position(row);
        return it != entries_.end() && it->row == row ? it : nullptr;
    }
    // The row's reference count, or nullptr when it is not held.
    DBREFCOUNT* find(std::size_t row) {
        Entry* e = entry(row);
        return e ? &e->references : nullptr;
    }
    bool contains(std::size_t row) const {
        return const_cast<HeldRows*>(this)->find(row) != nullptr;
    }
    // Adds one reference, holding the row if it was not.
    void hold(std::size_t row) {
        if (entries_.empty() || entries_.back().row < row) {
            entries_.push_back({row, 1});
            return;
        }
        auto it = position(row);
        if (it != entries_.end() && it->row == row)
            ++it->references;
        else
            entries_.insert(it, {row, 1});
    }
    void erase(std::size_t row) {
        if (Entry* e = entry(row))
            entries_.erase(e);
    }
    // Contract: `held` is an entry of this list.
    void erase(Entry* held) { entries_.erase(held); }

    const Entry* begin() const { return entries_.begin(); }
    const Entry* end() const { return entries_.end(); }

private:
    Entry* position(std::size_t row) {
        return std::lower_bound(entries_.begin(), entries_.end(), row,
                                [](const Entry& e, std::size_t r) { return e.row < r; });
    }

    SmallVector<Entry, 4> entries_;
};

} // namespace vantrel::kit
