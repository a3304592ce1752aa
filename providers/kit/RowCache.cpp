#include "RowCache.h"

#include <cstring>
#include <functional>
#include <string>

namespace vantrel::kit {
namespace {

// The identity is stored as a cell: Int for a rowid, Blob for an opaque key.
ValueView identityCell(const RowIdentity& id) {
    if (const auto* rowid = std::get_if<std::int64_t>(&id))
        return ValueView::ofInt(*rowid);
    return ValueView::ofBlob(std::get<std::string>(id));
}

} // namespace

void RowCache::putCell(const ValueView& v) {
    // One growth per cell: the kind byte, then its fixed part or its length and bytes.
    const auto put = [this, &v](const void* p, std::size_t n, const void* tail = nullptr,
                                std::size_t tailSize = 0) {
        char* out = arena_.grow(1 + n + tailSize);
        *out = static_cast<char>(v.kind);
        if (n)
            std::memcpy(out + 1, p, n);
        if (tailSize)
            std::memcpy(out + 1 + n, tail, tailSize);
    };
    switch (v.kind) {
    case ValueKind::Null:
        put(nullptr, 0);
        break;
    case ValueKind::Int:
        put(&v.integer, sizeof v.integer);
        break;
    case ValueKind::Real:
        put(&v.real, sizeof v.real);
        break;
    case ValueKind::Timestamp:
        put(&v.timestamp, sizeof v.timestamp);
        break;
    case ValueKind::Text:
    case ValueKind::Blob: {
        std::uint32_t n = static_cast<std::uint32_t>(v.bytes.size());
        const char* bytes = v.bytes.data();
        const std::less<const char*> before;
        if (n && !before(bytes, arena_.data()) && before(bytes, arena_.data() + arena_.size())) {
            // Bytes of this very arena, which the resize may move: copied first.
            const std::string copy(v.bytes);
            put(&n, sizeof n, copy.data(), n);
        } else {
            put(&n, sizeof n, bytes, n);
        }
        break;
    }
    }
}

void RowCache::putIdentity(const RowIdentity& id) {
    putCell(identityCell(id));
}

std::size_t RowCache::skipCell(std::size_t at) const {
    auto kind = static_cast<ValueKind>(arena_[at++]);
    switch (kind) {
    case ValueKind::Null:
        return at;
    case ValueKind::Int:
    case ValueKind::Real:
        return at + 8;
    case ValueKind::Timestamp:
        return at + sizeof(Timestamp);
    case ValueKind::Text:
    case ValueKind::Blob: {
        std::uint32_t n;
        std::memcpy(&n, &arena_[at], sizeof n);
        return at + sizeof n + n;
    }
    }
    return at;
}

ValueView RowCache::cellAt(std::size_t at) const {
    ValueView v;
    v.kind = static_cast<ValueKind>(arena_[at++]);
    switch (v.kind) {
    case ValueKind::Null:
        break;
    case ValueKind::Int:
        std::memcpy(&v.integer, &arena_[at], sizeof v.integer);
        break;
    case ValueKind::Real:
        std::memcpy(&v.real, &arena_[at], sizeof v.real);
        break;
    case ValueKind::Timestamp:
        std::memcpy(&v.timestamp, &arena_[at], sizeof v.timestamp);
        break;
    case ValueKind::Text:
    case ValueKind::Blob: {
        std::uint32_t n;
        std::memcpy(&n, &arena_[at], sizeof n);
        v.bytes = std::string_view(arena_.data() + at + sizeof n, n);
        break;
    }
    }
    return v;
}

std::size_t RowCache::append(const Statement& statement) {
    offsets_.push_back(arena_.size());
    if (withIdentity_)
        putIdentity(statement.rowIdentity());
    for (std::size_t c = 0; c < columns_; ++c)
        putCell(statement.value(c));
    return end() - 1;
}

std::size_t RowCache::append(std::span<const ValueView> values, const RowIdentity* identity) {
    offsets_.push_back(arena_.size());
    if (withIdentity_)
        putIdentity(identity ? *identity : RowIdentity(std::int64_t{0}));
    for (std::size_t c = 0; c < columns_; ++c)
        putCell(c < values.size() ? values[c] : ValueView::null());
    return end() - 1;
}

void RowCache::replace(std::size_t row, std::span<const ValueView> values) {
    // The old run stays in the arena (changes are rare); the row points at a new run. Values
    // are copied first since they may point into the arena.
    std::vector<Value> copies(values.begin(), values.end());
    RowIdentity id = withIdentity_ ? identity(row) : RowIdentity(std::int64_t{0});
    std::uint64_t start = arena_.size();
    if (withIdentity_)
        putIdentity(id);
    for (std::size_t c = 0; c < columns_; ++c)
        putCell(c < copies.size() ? copies[c].view() : ValueView::null());
    offsets_[row - first_] = start;
}

void RowCache::restartAt(std::size_t row) {
    arena_.clear();
    offsets_.clear();
    first_ = row;
}

ValueView RowCache::value(std::size_t row, std::size_t column) const {
    std::size_t at = offsets_[row - first_];
    if (withIdentity_)
        at = skipCell(at);
    for (std::size_t c = 0; c < column; ++c)
        at = skipCell(at);
    return cellAt(at);
}

RowCache::RowReader::RowReader(const RowCache& cache, std::size_t row)
    : cache_(cache), rowStart_(cache.offsets_[row - cache.first_]), column_(0), at_(0) {
    if (cache_.withIdentity_)
        rowStart_ = cache_.skipCell(rowStart_);
    at_ = rowStart_;
}

ValueView RowCache::RowReader::value(std::size_t column) {
    if (column < column_) {
        column_ = 0;
        at_ = rowStart_;
    }
    for (; column_ < column; ++column_)
        at_ = cache_.skipCell(at_);
    return cache_.cellAt(at_);
}

RowIdentity RowCache::identity(std::size_t row) const {
    ValueView v = cellAt(offsets_[row - first_]);
    if (v.kind == ValueKind::Int)
        return v.integer;
    return std::string(v.bytes);
}

void RowCache::markDeleted(std::size_t row) {
    if (deleted_.size() <= row)
        deleted_.resize(row + 1, false);
    deleted_[row] = true;
}

} // namespace vantrel::kit
