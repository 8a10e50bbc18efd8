// Ring buffers and buses: the ports and delay lines of the dataflow runtime.
//
// A ring buffer used as a port refers to connection storage owned by the
// composite that wired it; used as a block's own delay line it owns its storage
// and the block releases it. A buffer's destructor never frees Data. A bus owns
// its array of buffers, not the storage those buffers refer to.
//
// No operation checks offsets, indices or the presence of storage: callers keep
// Position < Capacity, offsets below Capacity and bus indices below Size. Debug
// builds assert these on the paths blocks use while firing.
#pragma once

#include <cassert>
#include <complex>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "matrix.h"

namespace Tarvessa {

// Modulated-carrier sample; only its zero value matters to the runtime.
struct EnvelopeSignal {
    std::complex<double> Envelope{};
    double CarrierFrequency = 0.0;
    bool operator==(const EnvelopeSignal& o) const {
        return Envelope == o.Envelope && CarrierFrequency == o.CarrierFrequency;
    }
};

// Dimensions handed to Clear for buffers of Matrix elements.
struct BufferShape {
    std::uint32_t NumDims = 0;
    const std::uint32_t* Dims = nullptr;
};

class CircularBufferBase {
public:
    std::uint32_t Rate = 1;
    std::uint32_t Depth = 1;
    std::uint32_t ElementSize = 0;
    std::uint32_t Position = 0;
    void* Data = nullptr;
    std::uint32_t Capacity = 0;
    bool Enabled = true;

    CircularBufferBase() = default;
    CircularBufferBase(const CircularBufferBase&) = delete;
    CircularBufferBase& operator=(const CircularBufferBase&) = delete;
    virtual ~CircularBufferBase() = default;

    // Copies `count` elements into another ring buffer of the same element type.
    virtual void CopyTo(std::uint32_t sourceOffset, CircularBufferBase& destination,
                        std::uint32_t destinationOffset, std::uint32_t count) = 0;
    // Copies `count` contiguous elements between two element arrays.
    virtual void CopyElements(const void* source, void* destination, std::uint32_t count) = 0;
    // Zeroes the `count` elements from `offset` after Position on.
    virtual bool Clear(std::uint32_t offset, std::uint32_t count, const BufferShape* shape) = 0;
    // New storage for `count` elements (std::bad_alloc when its size in bytes
    // does not fit in 32 bits).
    virtual void* Allocate(std::uint32_t count) = 0;
    // Frees `storage`, or, when it is null, this buffer's own Data (leaving the
    // buffer empty).
    virtual void Release(void* storage) = 0;

    void SetRate(std::uint32_t n) {
        Rate = n;
        if (Depth < n) {
            Depth = n;
        }
    }

    // Slot index of the element `offset` places after Position.
    std::uint32_t IndexOf(std::uint32_t offset) const {
        assert(offset < Capacity);
        const std::uint32_t index = Position + offset;
        return index >= Capacity ? index - Capacity : index;
    }

    void Advance() {
        const std::uint32_t next = Position + Rate;
        Position = next >= Capacity ? next - Capacity : next;
    }

    // Grows the storage, keeping the ring order as seen backwards from Position.
    bool Resize(std::uint32_t newCapacity, bool clearNew, const BufferShape* shape) {
        if (newCapacity == 0 || newCapacity <= Capacity) {
            return true;
        }
        void* fresh = Allocate(newCapacity);
        const std::uint32_t oldCapacity = Capacity;
        if (oldCapacity > 0) {
            CopyElements(Data, fresh, Position);
            CopyElements(ElementAt(Data, Position),
                         ElementAt(fresh, newCapacity - (oldCapacity - Position)),
                         oldCapacity - Position);
            Release(Data);
        }
        Data = fresh;
        Capacity = newCapacity;
        if (clearNew) {
            Clear(0, newCapacity - oldCapacity, shape);
        }
        return true;
    }

    const void* GetData() const { return Data; }
    std::uint32_t GetCapacity() const { return Capacity; }
    bool IsEnabled() const { return Enabled; }
    void SetDepth(std::uint32_t depth) { Depth = depth; }

private:
    void* ElementAt(void* array, std::uint32_t index) const {
        return static_cast<char*>(array) + std::size_t{index} * ElementSize;
    }
};

// The five operations implemented element by element, for any element type
// that can be default-constructed (its zero) and copy-assigned.
template <class T>
class CircularBufferE : public CircularBufferBase {
public:
    using Element = T;
    CircularBufferE() { ElementSize = static_cast<std::uint32_t>(sizeof(T)); }

    T* Elements() const { return static_cast<T*>(Data); }
    // The element at `offset` after Position.
    T& At(std::uint32_t offset) const { return Elements()[IndexOf(offset)]; }
    // The element at Position: what a block reads or writes in one firing.
    T& Current() const {
        assert(Data != nullptr && Position < Capacity);
        return Elements()[Position];
    }

    void CopyTo(std::uint32_t sourceOffset, CircularBufferBase& destination,
                std::uint32_t destinationOffset, std::uint32_t count) override {
        assert(destination.ElementSize == ElementSize);
        auto& dst = static_cast<CircularBufferE&>(destination);
        std::uint32_t s = IndexOf(sourceOffset);
        std::uint32_t d = dst.IndexOf(destinationOffset);
        if (count == 1) {
            Assign(Elements()[s], dst.Elements()[d]);
            return;
        }
        while (count > 0) {
            std::uint32_t n = Capacity - s;
            if (dst.Capacity - d < n) n = dst.Capacity - d;
            if (count < n) n = count;
            CopyElements(Elements() + s, dst.Elements() + d, n);
            d = d + n == dst.Capacity ? 0 : d + n;
            s = s + n == Capacity ? 0 : s + n;
            count -= n;
        }
    }

    void CopyElements(const void* source, void* destination, std::uint32_t count) override {
        const T* from = static_cast<const T*>(source);
        T* to = static_cast<T*>(destination);
        if constexpr (std::is_trivially_copyable_v<T>) {
            if (count > 0) {
                std::memmove(to, from, std::size_t{count} * sizeof(T));
            }
        } else {
            for (std::uint32_t k = 0; k < count; ++k) {
                Assign(from[k], to[k]);
            }
        }
    }

    bool Clear(std::uint32_t offset, std::uint32_t count, const BufferShape* shape) override {
        for (std::uint32_t k = 0; k < count; ++k) {
            ClearElement(At(offset + k), shape);
        }
        return true;
    }

    void* Allocate(std::uint32_t count) override { return detail::AllocateArray<T>(count); }

    void Release(void* storage) override {
        if (storage != nullptr) {
            delete[] static_cast<T*>(storage);
            return;
        }
        delete[] Elements();
        Data = nullptr;
        Position = 0;
        Capacity = 0;
    }

private:
    static void Assign(const T& from, T& to) {
        if constexpr (IsMatrix<T>::value) {
            // Reshape to the source's dimensions, then copy the values. A
            // cleared source (no dimensions, no values) stays empty: the empty
            // size list would otherwise read as the one-element empty product.
            to.Reshape(from.NumDims, from.NumDims == 0 && from.Size == 0 ? nullptr : from.Dims);
            for (std::uint32_t k = 0; k < from.Size; ++k) {
                to.Data[k] = from.Data[k];
            }
        } else {
            to = from;
        }
    }
    static void ClearElement(T& element, const BufferShape* shape) {
        if constexpr (IsMatrix<T>::value) {
            if (shape != nullptr) {
                element.Reshape(shape->NumDims, shape->Dims);
                for (std::uint32_t k = 0; k < element.Size; ++k) {
                    element.Data[k] = {};
                }
            } else {
                element.Reshape(0, nullptr);
            }
        } else {
            element = T{};
        }
    }

    template <class X>
    struct IsMatrix : std::false_type {};
    template <class E>
    struct IsMatrix<Matrix<E>> : std::true_type {};
};

// The ring buffer of element type T. Scalars (bool, int, float, double) are
// left uninitialised by Allocate; complex and EnvelopeSignal elements start at
// zero; Matrix elements start empty.
template <class T>
class CircularBuffer : public CircularBufferE<T> {};

// Matrix elements go through CircularBufferE<Matrix<E>>, which reshapes each
// destination on copy and each cleared element to the given shape.
template <class E>
class CircularBuffer<Matrix<E>> : public CircularBufferE<Matrix<E>> {};

// A ring buffer with a time base.
template <class T>
class TimedCircularBuffer : public CircularBuffer<T> {
public:
    // Fails, changing nothing, for a negative or NaN rate.
    bool SetSampleRate(double rate) {
        if (!(rate >= 0.0)) {
            return false;
        }
        SampleRate = rate;
        TimeStep = rate > 0.0 ? 1.0 / rate : 0.0;
        return true;
    }
    // Time of the token at `offset` in the port's window (0 = the oldest of
    // its Depth tokens) during firing number `firing`. The token number is
    // firing * Rate - (Depth - Rate) + offset, computed modulo 2^64 and read
    // as a signed 64-bit number: exact whenever the true value fits in 64
    // signed bits, wrapped (never undefined) when it does not.
    double TimeOf(std::uint32_t offset, std::int64_t firing) const {
        const std::uint64_t rate = this->Rate;
        const std::uint64_t token = static_cast<std::uint64_t>(firing) * rate -
                                    (std::uint64_t{this->Depth} - rate) + offset;
        return StartTime + static_cast<double>(ToSigned(token)) * TimeStep;
    }
    double GetStartTime() const { return StartTime; }
    void SetStartTime(double t) { StartTime = t; }
    double GetTimeStep() const { return TimeStep; }
    double GetSampleRate() const { return SampleRate; }

private:
    // Two's complement reading of a 64-bit pattern, without relying on the
    // implementation-defined narrowing conversion.
    static std::int64_t ToSigned(std::uint64_t v) {
        return v <= 0x7FFFFFFFFFFFFFFFull ? static_cast<std::int64_t>(v)
                                          : -static_cast<std::int64_t>(~v) - 1;
    }
    double StartTime = 0.0;
    double TimeStep = 0.0;
    double SampleRate = 0.0;
};

class CircularBufferBus {
public:
    CircularBufferBus() = default;
    CircularBufferBus(const CircularBufferBus&) = delete;
    CircularBufferBus& operator=(const CircularBufferBus&) = delete;
    virtual void SetSize(std::uint32_t n) = 0;
    virtual ~CircularBufferBus() = default;
    virtual CircularBufferBase& Element(std::uint32_t i) = 0;
};

// An owned array of ring buffers of one type, for blocks with a variable
// number of ports.
template <class B>
class CircularBufferBusT : public CircularBufferBus {
public:
    std::uint32_t Size = 0;
    B* Buffers = nullptr;

    ~CircularBufferBusT() override { delete[] Buffers; }

    // Any size other than the current one discards every buffer (the storage
    // they refer to stays) and creates n unwired ones.
    void SetSize(std::uint32_t n) override {
        if (n == Size) {
            return;
        }
        delete[] Buffers;
        Buffers = nullptr;
        Size = 0;
        if (n > 0) {
            Buffers = detail::AllocateArray<B>(n);
        }
        Size = n;
    }

    B& Element(std::uint32_t i) override {
        assert(i < Size);
        return Buffers[i];
    }
};

}  // namespace Tarvessa
