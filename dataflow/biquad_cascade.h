// BiquadCascade: a chain of direct form II second-order sections.
//
// The block borrows Taps (six per section: N0 N1 N2 D0 D1 D2); the party that
// configures it allocates and frees them. Initialize normalises every section
// to D0 = 1 in place and restarts the filter from a zero state. Outputs carry,
// for output p, the signal after the first BiquadCount - p sections.
#pragma once

#include <cstdint>

#include "circular_buffer.h"
#include "df_model.h"
#include "kernels.h"

namespace Tarvessa {

class BiquadCascade : public DFModel {
public:
    double* Taps = nullptr;
    std::int32_t TapCount = 0;
    CircularBuffer<double> Input;
    CircularBufferBusT<CircularBuffer<double>> Outputs;
    double* Delay1 = nullptr;
    double* Delay2 = nullptr;
    std::uint32_t BiquadCount = 0;

    BiquadCascade() = default;
    bool Initialize() override;
    bool Run() override;
    // `count` firings over arrays: out[p] receives the tokens of output p, for
    // each output a firing writes (Outputs.Size arrays). out[0] may be `in`.
    void RunBlock(const double* in, double* const* out, std::uint32_t count);
    // RunBlock of the first output into `out` (not `in`), handing each stretch
    // [at, at + n) of it to `next(at, n)` once written, so that the next
    // blocks can fire while the recurrence runs. A stretch may be handed on
    // more than once (the same tokens again), so `next` must only read `out`.
    template <class Next>
    void RunBlock(const double* in, double* out, std::uint32_t count, Next&& next);
    bool Finalize() override { return true; }
    ~BiquadCascade() override;

protected:
    // Sections a firing processes: BiquadCount after a successful state reset,
    // 0 before one and after the taps are withdrawn. A firing of a block that
    // is not ready therefore touches neither taps nor state and writes nothing.
    std::uint32_t ReadySections = 0;
};

// One firing: inline, so that an owner's firing loop sees the whole path.
inline bool BiquadCascade::Run() {
    const std::uint32_t count = ReadySections;
    const std::uint32_t outputs = Outputs.Size < count ? Outputs.Size : count;
    double x = Input.Current();
    for (std::uint32_t k = 0; k < count; ++k) {
        x = kernels::BiquadSection(Taps + 6 * std::size_t{k}, Delay1[k], Delay2[k], x);
        if (count - k <= outputs) {
            Outputs.Buffers[count - 1 - k].Current() = x;
        }
    }
    return true;
}

inline void BiquadCascade::RunBlock(const double* in, double* const* out, std::uint32_t count) {
    const std::uint32_t sections = ReadySections;
    const std::uint32_t outputs = Outputs.Size < sections ? Outputs.Size : sections;
    if (outputs == 0) {
        // Nothing is written, but the sections still advance their state.
        for (std::uint32_t t = 0; t < count; ++t) {
            double x = in[t];
            for (std::uint32_t k = 0; k < sections; ++k) {
                x = kernels::BiquadSection(Taps + 6 * std::size_t{k}, Delay1[k], Delay2[k], x);
            }
        }
        return;
    }
    // Section by section over the whole block: each section's state sees the
    // same token sequence as when fired token by token. A section whose signal
    // is no output works in out[0], which the last section overwrites.
    const double* source = in;
    for (std::uint32_t k = 0; k < sections; ++k) {
        const std::uint32_t p = sections - 1 - k;
        double* target = p < outputs ? out[p] : out[0];
        const double* taps = Taps + 6 * std::size_t{k};
        if (target == source ||
            !kernels::FirstOrderSectionBlock(taps, Delay1[k], Delay2[k], source, target, count)) {
            kernels::BiquadSectionBlock(taps, Delay1[k], Delay2[k], source, target, count);
        }
        source = target;
    }
}

template <class Next>
void BiquadCascade::RunBlock(const double* in, double* out, std::uint32_t count, Next&& next) {
    if (ReadySections == 1 && Outputs.Size >= 1 && out != in &&
        kernels::FirstOrderSectionBlock(Taps, Delay1[0], Delay2[0], in, out, count, next)) {
        return;
    }
    RunBlock(in, &out, count);
    next(0u, count);
}

}  // namespace Tarvessa
