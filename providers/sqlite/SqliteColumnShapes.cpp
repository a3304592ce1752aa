#include "SqliteColumnShapes.h"

#include <cstring>

namespace vantrel::sqlite {

namespace {

constexpr std::size_t remembered = 8;

} // namespace

ColumnShapes::List ColumnShapes::find(std::span<const char* const> names,
                                      std::span<const char* const> declared) const {
    const auto matches = [&](const Shape& shape) {
        const std::vector<kit::ColumnInfo>& columns = *shape.list;
        if (columns.size() != names.size())
            return false;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const char* declaration = declared[c];
            if (shape.hasDeclaration[c] != (declaration != nullptr) ||
                std::strcmp(columns[c].name.c_str(), names[c] != nullptr ? names[c] : "") != 0 ||
                (declaration != nullptr &&
                 std::strcmp(shape.declared[c].c_str(), declaration) != 0))
                return false;
        }
        return true;
    };
    // Statements of one shape tend to come in runs: the one met last is tried first.
    if (last_ < shapes_.size() && matches(shapes_[last_]))
        return shapes_[last_].list;
    for (std::size_t i = 0; i < shapes_.size(); ++i)
        if (i != last_ && matches(shapes_[i])) {
            last_ = i;
            return shapes_[i].list;
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
        last_ = shapes_.size();
        shapes_.push_back(std::move(shape));
    } else {
        last_ = nextReplaced_;
        shapes_[nextReplaced_] = std::move(shape);
        nextReplaced_ = (nextReplaced_ + 1) % remembered;
    }
}

} // namespace vantrel::sqlite
