// Stateless blocks: Gain, Add and Fork.
#pragma once

#include "circular_buffer.h"
#include "df_model.h"
#include "kernels.h"

namespace Tarvessa {

template <class T>
class Gain final : public DFModel {
public:
    T Factor{};  // the owner sets it before the first firing
    CircularBuffer<T> Input;
    CircularBuffer<T> Output;

    bool Run() override {
        Output.Current() = Input.Current() * Factor;
        return true;
    }
    // `count` firings over arrays instead of the ports; `out` may be `in`.
    void RunBlock(const T* in, T* out, std::uint32_t count) const {
        kernels::ScaleBlock(in, Factor, out, count);
    }
    ~Gain() override = default;
};

// Sums its inputs into the output element, first input first.
template <class T>
class Add final : public DFModel {
public:
    CircularBufferBusT<CircularBuffer<T>> Inputs;
    CircularBuffer<T> Output;

    bool Run() override {
        T& out = Output.Current();
        out = T{};
        for (std::uint32_t i = 0; i < Inputs.Size; ++i) {
            out = Inputs.Buffers[i].Current() + out;
        }
        return true;
    }
    // `count` firings: in[i] holds the tokens of input i (Inputs.Size arrays);
    // `out` may be one of them.
    void RunBlock(const T* const* in, T* out, std::uint32_t count) const {
        kernels::SumBlock(in, Inputs.Size, out, count);
    }
    ~Add() override = default;
};

// Copies its input to every output.
template <class B>
class Fork final : public DFModel {
public:
    B Input;
    CircularBufferBusT<B> Outputs;

    bool Run() override {
        const auto& value = Input.Current();
        for (std::uint32_t i = 0; i < Outputs.Size; ++i) {
            Outputs.Buffers[i].Current() = value;
        }
        return true;
    }
    // `count` firings: copies `in` to each of the Outputs.Size arrays of `out`.
    // An output array that is `in` itself already holds the tokens, so an
    // owner can let the outputs alias the input and copy nothing.
    using Element = typename B::Element;
    void RunBlock(const Element* in, Element* const* out, std::uint32_t count) const {
        for (std::uint32_t i = 0; i < Outputs.Size; ++i) {
            if (out[i] != in) {
                for (std::uint32_t t = 0; t < count; ++t) {
                    out[i][t] = in[t];
                }
            }
        }
    }
    ~Fork() override = default;
};

}  // namespace Tarvessa
