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

}  // namespace Tarvessa
