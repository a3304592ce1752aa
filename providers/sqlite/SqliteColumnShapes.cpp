#include "SqliteColumnShapes.h"

#include <cstring>

namespace vantrel::sqlite {

namespace {

constexpr std::size_t remembered = 8;

} // namespace

ColumnShapes::List ColumnShapes::find(std::span<const char* const> names,
                                      std::span<const char* const> declared) const {
    for (const Shape& shape : shapes_) {
        const std::vector<kit::ColumnInfo>& columns = *shape.list;
        if (columns.size() != names.size())
            continue;
        bool same = true;
        for (std::size_t c = 0; same && c < columns.size(); ++c) {
            const char* name = names[c] != nullptr ? names[c] : "";
            same = columns[c].name == name && shape.hasDeclaration[c] == (declared[c] != nullptr) &&
                   (declared[c] == nullptr || shape.declared[c] == declared[c]);
        }
        if (same)
            return shape.list;
    }
    return nullptr;
}

void ColumnShapes::remember(const List& list, std::span<const char* const> declared) {
    Shape shape;
    shape.list = list;
    shape.declared.reserve(declared.size());
    shape.hasDeclaration.reserve(declared.size());
    for (const char* d : declared) {
        shape.declared.emplace_back(d != nullptr ? d : "");
        shape.hasDeclaration.push_back(d != nullptr);
    }
    if (shapes_.size() < remembered) {
        shapes_.push_back(std::move(shape));
    } else {
        shapes_[nextReplaced_] = std::move(shape);
        nextReplaced_ = (nextReplaced_ + 1) % remembered;
    }
}

} // namespace vantrel::sqlite
