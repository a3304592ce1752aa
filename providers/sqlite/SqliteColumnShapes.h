// The column lists a connection's statements were described with last, for the next statement
// whose columns have the same names and declarations: a text run again with other literals
// (a lookup by another key, the same aggregate over another range) shares the list its
// predecessor built instead of building its own.
#pragma once

#include "kit/Backend.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vantrel::sqlite {

class ColumnShapes {
public:
    // A described list, as seen from statements without row identity: per column its name,
    // and the type its declaration gives (type Empty: none declared, typed from values later).
    // The list is shared and never changed; a statement that changes its own copies it first.
    using List = std::shared_ptr<std::vector<kit::ColumnInfo>>;

    // The list remembered for columns with exactly these names and declarations (a null
    // declaration: an expression), or null.
    List find(std::span<const char* const> names, std::span<const char* const> declared) const;
    // Remembers list, described from columns of these names and declarations; the oldest one
    // remembered gives way.
    void remember(const List& list, std::span<const char* const> names,
                  std::span<const char* const> declared);

    // Statements with more columns are described without the look-up: comparing them would
    // cost about as much as describing them.
    static constexpr std::size_t mostColumns = 16;

private:
    struct Shape {
        List list;
        // Per column: its name and a NUL, then '+', its declaration and a NUL, or '-' when it
        // has none. One string, read in one pass by find.
        std::string key;
    };
    static std::string keyOf(std::span<const char* const> names,
                             std::span<const char* const> declared);
    std::vector<Shape> shapes_;
    std::size_t nextReplaced_ = 0;
    mutable std::size_t last_ = 0; // the shape found or remembered last
};

} // namespace vantrel::sqlite
