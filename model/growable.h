// A growable array of trivially copyable elements on malloc and realloc,
// which reports a failed growth instead of throwing, so the instance's texts
// and work array need nothing of the C++ library's containers.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <class T>
class Growable {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved by memcpy");

public:
    Growable() = default;
    Growable(const Growable&) = delete;
    Growable& operator=(const Growable&) = delete;
    ~Growable() { std::free(data_); }

    T* Data() { return data_; }
    const T* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    T& operator[](std::size_t k) { return data_[k]; }

    // Makes room for `count` elements; false, changing nothing, when the
    // memory cannot be had.
    bool Reserve(std::size_t count) {
        if (count <= capacity_) return true;
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) return false;
        void* grown = std::realloc(data_, count * sizeof(T));
        if (grown == nullptr) return false;
        data_ = static_cast<T*>(grown);
        capacity_ = count;
        return true;
    }
    // Sets the size, new elements zero; false, changing nothing, on failure.
    bool Resize(std::size_t count) {
        if (!Reserve(count)) return false;
        if (count > size_)
            std::memset(static_cast<void*>(data_ + size_), 0, (count - size_) * sizeof(T));
        size_ = count;
        return true;
    }
    bool Append(const T* values, std::size_t count) {
        if (count > static_cast<std::size_t>(-1) - size_ || !Reserve(size_ + count)) return false;
        if (count > 0) std::memcpy(static_cast<void*>(data_ + size_), values, count * sizeof(T));
        size_ += count;
        return true;
    }
    bool Assign(const Growable& other) {
        if (!Reserve(other.size_)) return false;
        if (other.size_ > 0)
            std::memcpy(static_cast<void*>(data_), other.data_, other.size_ * sizeof(T));
        size_ = other.size_;
        return true;
    }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
