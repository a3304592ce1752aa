#include "SqliteColumnShapes.h"

#include <cstring>

namespace vantrel::sqlite {

namespace {

constexpr std::size_t remembered = 8;

} // namespace

namespace {

// Whether key continues with text and its NUL; moves key past them.
bool takeText(const char*& key, const char* text) {
    while (*text != '\0' && *text == *key) {
        ++text;
        ++key;
    }
    if (*text != *key)
        return false;
    ++key;
    return true;
}

} // namespace

std::string ColumnShapes::keyOf(std::span<const char* const> names,
                                std::span<const char* const> declared) {
    std::string key;
    for (std::size_t c = 0; c < names.size(); ++c) {
        key += names[c] != nullptr ? names[c] : "";
        key += '\0';
        if (declared[c] != nullptr) {
            key += '+';
            key += declared[c];
            key += '\0';
        } else {
            key += '-';
        }
    }
    return key;
}

ColumnShapes::List ColumnShapes::find(std::span<const char* const> names,
                                      std::span<const char* const> declared) const {
    const auto matches = [&](const Shape& shape) {
        if (shape.list->size() != names.size())
            return false;
        const char* key = shape.key.c_str();
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (!takeText(key, names[c] != nullptr ? names[c] : ""))
                return false;
            if (declared[c] == nullptr) {
                if (*key++ != '-')
                    return false;
            } else if (*key++ != '+' || !takeText(key, declared[c])) {
                return false;
            }
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

void ColumnShapes::remember(const List& list, std::span<const char* const> names,
                            std::span<const char* const> declared) {
    Shape shape{list, keyOf(names, declared)};
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
