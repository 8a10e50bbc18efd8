// Matrix<E>: the runtime's multi-dimensional numeric array.
//
// Storage order puts the first index fastest: Strides[0] = 1 and
// Strides[i] = Strides[i-1] * Dims[i-1]. The element storage only grows
// (Capacity never shrinks). A Matrix owns Data, Dims and Strides: copying makes
// a deep copy, moving leaves the source empty (no dimensions, no storage).
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <new>

namespace Tarvessa {

namespace detail {
// The largest byte count the runtime allocates in one block. Keeping it at
// 32 bits makes 32- and 64-bit builds refuse exactly the same requests.
constexpr std::uint64_t kMaxAllocationBytes = 0xFFFFFFFFull;

template <class T>
T* AllocateArray(std::uint64_t count) {
    if (count * sizeof(T) > kMaxAllocationBytes || count > kMaxAllocationBytes) {
        throw std::bad_alloc();
    }
    return new T[static_cast<std::size_t>(count)];
}
}  // namespace detail

template <class E>
class Matrix {
public:
    E* Data = nullptr;
    std::uint32_t NumDims = 2;
    std::uint32_t* Dims = nullptr;
    std::uint32_t Size = 0;
    std::uint32_t Capacity = 0;
    std::uint32_t* Strides = nullptr;

    Matrix() : Dims(new std::uint32_t[2]{0, 0}), Strides(new std::uint32_t[2]{0, 0}) {}

    Matrix(const Matrix& other) : Matrix() { CopyFrom(other); }
    Matrix& operator=(const Matrix& other) {
        if (this != &other) {
            CopyFrom(other);
        }
        return *this;
    }
    Matrix(Matrix&& other) noexcept { Steal(other); }
    Matrix& operator=(Matrix&& other) noexcept {
        if (this != &other) {
            FreeAll();
            Steal(other);
        }
        return *this;
    }
    ~Matrix() { FreeAll(); }

    // Sets the dimensions to the n sizes in `dims`. A null size list gives
    // Size 0; n = 0 with a list gives the empty product 1. The element storage
    // is replaced (values lost) only when it is too small.
    void Reshape(std::uint32_t n, const std::uint32_t* dims) {
        // The size is the whole product: a zero size anywhere makes it 0 even
        // when the sizes before it overflow 32 bits; only a product that
        // really exceeds 32 bits is refused.
        std::uint64_t s = dims == nullptr ? 0 : 1;
        if (dims != nullptr) {
            bool anyZero = false;
            for (std::uint32_t i = 0; i < n; ++i) {
                anyZero = anyZero || dims[i] == 0;
            }
            for (std::uint32_t i = 0; i < n && !anyZero; ++i) {
                s *= dims[i];
                if (s > 0xFFFFFFFFull) {
                    throw std::bad_alloc();
                }
            }
            s = anyZero ? 0 : s;
        }
        if (NumDims < n || Dims == nullptr) {
            std::uint32_t* newDims = new std::uint32_t[std::max<std::uint32_t>(n, 1)]();
            std::uint32_t* newStrides =
                new (std::nothrow) std::uint32_t[std::max<std::uint32_t>(n, 1)]();
            if (newStrides == nullptr) {
                delete[] newDims;
                throw std::bad_alloc();
            }
            if (Dims != nullptr) {
                std::copy(Dims, Dims + NumDims, newDims);
                std::copy(Strides, Strides + NumDims, newStrides);
            }
            delete[] Dims;
            delete[] Strides;
            Dims = newDims;
            Strides = newStrides;
        }
        if (Capacity < s) {
            E* fresh = detail::AllocateArray<E>(s);
            delete[] Data;
            Data = fresh;
            Capacity = static_cast<std::uint32_t>(s);
        }
        NumDims = n;
        Size = static_cast<std::uint32_t>(s);
        for (std::uint32_t i = 0; i < n; ++i) {
            Dims[i] = dims == nullptr ? 0 : dims[i];
            Strides[i] = i == 0 ? 1 : Strides[i - 1] * Dims[i - 1];
        }
    }

    void Reshape(std::initializer_list<std::uint32_t> dims) {
        Reshape(static_cast<std::uint32_t>(dims.size()), dims.begin());
    }

    // Copies the first min(count, Size) values in storage order and zeroes the rest.
    void Assign(const E* values, std::uint32_t count) {
        const std::uint32_t n = std::min(count, Size);
        std::copy(values, values + n, Data);
        std::fill(Data + n, Data + Size, E{});
    }

    E& operator[](std::uint32_t k) { return Data[k]; }
    const E& operator[](std::uint32_t k) const { return Data[k]; }

private:
    void CopyFrom(const Matrix& other) {
        Reshape(other.NumDims, other.Dims);
        std::copy(other.Data, other.Data + other.Size, Data);
    }
    void Steal(Matrix& other) noexcept {
        Data = other.Data;
        NumDims = other.NumDims;
        Dims = other.Dims;
        Size = other.Size;
        Capacity = other.Capacity;
        Strides = other.Strides;
        other.Data = nullptr;
        other.NumDims = 0;
        other.Dims = nullptr;
        other.Size = 0;
        other.Capacity = 0;
        other.Strides = nullptr;
    }
    void FreeAll() noexcept {
        delete[] Data;
        delete[] Dims;
        delete[] Strides;
        Data = nullptr;
        Dims = nullptr;
        Strides = nullptr;
    }
};

}  // namespace Tarvessa
