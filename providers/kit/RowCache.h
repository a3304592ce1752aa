// The rows a rowset has fetched, kept compactly in one byte arena so rewinding and skipping
// never re-run the query and 100,000 rows cost a few megabytes, not a heap object each.
//
// The cache holds a contiguous run of rows [first(), end()) of the result. A rowset that keeps
// every row never moves it (first() stays 0); a rowset that keeps only a window of rows starts
// it afresh at another row with restartAt().
//
// Row i is a run of cells at offsets_[i - first()]: the row identity first (when the rowset has
// them), then one cell per column. A cell is a kind byte followed by 8 bytes (Int, Real), a
// 16-byte timestamp, or a 4-byte length and the bytes (Text, Blob).
#pragma once

#include "Backend.h"
#include "SmallVector.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::kit {

class RowCache {
public:
    RowCache(std::size_t columnCount, bool withIdentity)
        : columns_(columnCount), withIdentity_(withIdentity) {}

    // Rows are numbered from the start of the result; the cache holds [first(), end()).
    std::size_t first() const { return first_; }
    std::size_t end() const { return first_ + offsets_.size(); }
    std::size_t count() const { return offsets_.size(); }
    bool contains(std::size_t row) const { return row >= first_ && row < end(); }
    std::size_t columnCount() const { return columns_; }

    // Drops every row kept; the next append is row `row`. Deleted marks are kept.
    void restartAt(std::size_t row);

    // Appends the statement's current row as row end(); returns its number.
    std::size_t append(const Statement& statement);
    // Appends a row of given values (static rows, inserted rows).
    std::size_t append(std::span<const ValueView> values, const RowIdentity* identity);
    // Replaces the values of row `row` (after a change through the rowset).
    void replace(std::size_t row, std::span<const ValueView> values);

    // Contract for the three below: contains(row). Views stay valid until the next append,
    // replace or restartAt.
    ValueView value(std::size_t row, std::size_t column) const;
    RowIdentity identity(std::size_t row) const;

    // Reads the cells of one row (contract: contains(row)) walking it once when the columns
    // are asked for in order, as an accessor's bindings usually are; a column before the last
    // one asked for starts the walk over. Valid while the row's views are.
    class RowReader {
    public:
        RowReader(const RowCache& cache, std::size_t row);
        ValueView value(std::size_t column);

    private:
        const RowCache& cache_;
        std::size_t rowStart_; // the first column's cell
        std::size_t column_;   // the cell at `at_`
        std::size_t at_;
    };

    bool isDeleted(std::size_t row) const { return row < deleted_.size() && deleted_[row]; }
    void markDeleted(std::size_t row);

    std::size_t bytesUsed() const {
        return arena_.capacity() + offsets_.capacity() * sizeof(std::uint64_t);
    }

private:
    void putCell(const ValueView& v);
    void putIdentity(const RowIdentity& id);
    // Offset just past the cell at `at`.
    std::size_t skipCell(std::size_t at) const;
    ValueView cellAt(std::size_t at) const;

    std::size_t columns_;
    bool withIdentity_;
    std::size_t first_ = 0;
    // The first few rows of small cells live in the cache itself: most results of small
    // statements are a row or two, and a cell is appended without zeroing its room first.
    SmallVector<char, 192> arena_;
    // The first few rows' offsets live in the cache itself: most results of small statements
    // are a row or two.
    SmallVector<std::uint64_t, 4> offsets_;
    std::vector<bool> deleted_;
};

} // namespace vantrel::kit
