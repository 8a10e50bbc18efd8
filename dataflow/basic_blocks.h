// Stateless blocks: Gain, Add and Fork.
#pragma once

#include "circular_buffer.h"
#include "df_model.h"

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
    ~Fork() override = default;
};

}  // namespace Tarvessa
