// VarDelay: a delay line whose length, in tokens, is read from a control port
// at every firing and clamped to [0, MaxDelay].
#pragma once

#include "circular_buffer.h"
#include "df_model.h"

namespace Tarvessa {

template <class B>
class VarDelay final : public DFModel {
public:
    B Input;
    B Output;
    CircularBuffer<int> DelayControl;
    std::int32_t MaxDelay = 10;
    B History;  // owns its storage; only grows, and keeps its contents across Initialize
    std::uint32_t CurrentDelay = 0;
    std::uint32_t DelayLimit = 0;

    bool Initialize() override {
        if (MaxDelay < 0) {
            ReportError(this, "MaxDelay must be >= 0");
            return false;
        }
        CurrentDelay = static_cast<std::uint32_t>(MaxDelay);
        DelayLimit = static_cast<std::uint32_t>(MaxDelay);
        // MaxDelay + 1 fits in 32 unsigned bits for every non-negative MaxDelay;
        // the allocation refuses what does not fit in memory.
        History.Resize(DelayLimit + 1u, true, nullptr);
        History.Depth = DelayLimit + 1u;
        return true;
    }

    bool Run() override {
        if (DelayControl.Enabled) {
            const int d = DelayControl.Current();
            const std::uint32_t wanted = d < 0 ? 0u : static_cast<std::uint32_t>(d);
            CurrentDelay = wanted > DelayLimit ? DelayLimit : wanted;
        }
        History.At(DelayLimit) = Input.Current();
        Output.Current() = History.At(DelayLimit - CurrentDelay);
        History.Advance();
        return true;
    }

    ~VarDelay() override {
        if (History.Data != nullptr) {
            History.Release(nullptr);
        }
    }
};

}  // namespace Tarvessa
