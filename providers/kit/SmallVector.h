// A vector of plain values that keeps its first few elements inside itself, so that the usual
// handful (an accessor's bindings, a rowset's held rows) costs no allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

namespace vantrel::kit {

template <class T, std::size_t Inline> class SmallVector {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    SmallVector() = default;
    SmallVector(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
    SmallVector(const SmallVector& other) { assign(other.begin(), other.end()); }
    SmallVector(SmallVector&& other) noexcept { take(other); }
    SmallVector& operator=(const SmallVector& other) {
        if (this != &other)
            assign(other.begin(), other.end());
        return *this;
    }
    SmallVector& operator=(SmallVector&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    SmallVector& operator=(std::initializer_list<T> values) {
        assign(values.begin(), values.end());
        return *this;
    }
    ~SmallVector() { release(); }

    // Throws std::bad_alloc, leaving the contents as they were.
    void assign(const T* first, const T* last) {
        const auto count = static_cast<std::size_t>(last - first);
        reserve(count);
        if (count)
            std::memmove(static_cast<void*>(data_), first, count * sizeof(T));
        size_ = count;
    }
    void reserve(std::size_t wanted) {
        if (wanted <= capacity_)
            return;
        std::size_t capacity = std::max(wanted, capacity_ * 2);
        T* grown = static_cast<T*>(std::malloc(capacity * sizeof(T)));
        if (!grown)
            throw std::bad_alloc();
        if (size_)
            std::memcpy(static_cast<void*>(grown), data_, size_ * sizeof(T));
        release();
        data_ = grown;
        capacity_ = capacity;
    }
    void push_back(const T& value) { insert(end(), value); }
    // Appends `count` elements left as they are (not zeroed) and returns the first of them.
    T* grow(std::size_t count) {
        reserve(size_ + count);
        T* first = data_ + size_;
        size_ += count;
        return first;
    }
    iterator insert(const_iterator at, const T& value) {
        const auto index = static_cast<std::size_t>(at - data_);
        if (size_ == capacity_) {
            T copy = value; // `value` may live in this vector
            reserve(size_ + 1);
            return insertAt(index, copy);
        }
        return insertAt(index, value);
    }
    iterator erase(const_iterator at) {
        const auto index = static_cast<std::size_t>(at - data_);
        std::memmove(static_cast<void*>(data_ + index), data_ + index + 1,
                     (size_ - index - 1) * sizeof(T));
        --size_;
        return data_ + index;
    }
    void clear() { size_ = 0; }

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& back() { return data_[size_ - 1]; }
    const T& back() const { return data_[size_ - 1]; }
    iterator begin() { return data_; }
    iterator end() { return data_ + size_; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }

private:
    T* inlineData() { return reinterpret_cast<T*>(inline_); }
    bool spilled() const { return data_ != reinterpret_cast<const T*>(inline_); }
    iterator insertAt(std::size_t index, const T& value) {
        std::memmove(static_cast<void*>(data_ + index + 1), data_ + index,
                     (size_ - index) * sizeof(T));
        data_[index] = value;
        ++size_;
        return data_ + index;
    }
    void release() {
        if (spilled())
            std::free(data_);
        data_ = inlineData();
        capacity_ = Inline;
    }
    // Leaves `other` empty, on its inline room.
    void take(SmallVector& other) {
        if (other.spilled()) {
            data_ = other.data_;
            capacity_ = other.capacity_;
        } else if (other.size_) {
            std::memcpy(inline_, other.inline_, other.size_ * sizeof(T));
        }
        size_ = other.size_;
        other.data_ = other.inlineData();
        other.capacity_ = Inline;
        other.size_ = 0;
    }

    alignas(T) unsigned char inline_[Inline * sizeof(T)];
    T* data_ = inlineData();
    std::size_t size_ = 0;
    std::size_t capacity_ = Inline;
};

} // namespace vantrel::kit
