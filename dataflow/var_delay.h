// VarDelay: a delay line whose length, in tokens, is read from a control port
// at every firing and clamped to [0, MaxDelay].
#pragma once

#include <algorithm>

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

    using Element = typename B::Element;

    bool Run() override {
        if (DelayControl.Enabled) {
            CurrentDelay = Clamped(DelayControl.Current());
        }
        History.At(DelayLimit) = Input.Current();
        Output.Current() = History.At(DelayLimit - CurrentDelay);
        History.Advance();
        return true;
    }

    // `count` firings over arrays; control[i] is firing i's control token
    // (ignored, as the port is, while DelayControl is disabled). `out` must
    // not overlap `in`.
    void RunBlock(const Element* in, const int* control, Element* out, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (DelayControl.Enabled) {
                CurrentDelay = Clamped(control[i]);
            }
            History.At(DelayLimit) = in[i];
            out[i] = History.At(DelayLimit - CurrentDelay);
            History.Advance();
        }
    }

    // `count` firings whose control tokens all equal `control`: the tokens
    // move as contiguous spans. `out` must not overlap `in`.
    void RunBlock(const Element* in, int control, Element* out, std::uint32_t count) {
        if (History.Rate != 1 || History.Capacity <= DelayLimit) {
            for (std::uint32_t i = 0; i < count; ++i) {
                RunBlock(in + i, &control, out + i, 1);
            }
            return;
        }
        if (DelayControl.Enabled && count > 0) {
            CurrentDelay = Clamped(control);
        }
        const std::uint32_t capacity = History.Capacity;
        const std::uint32_t delay = CurrentDelay;
        // Firing t writes slot Position + DelayLimit + t and reads the slot
        // `delay` before it: the first `delay` firings read the history, the
        // rest read this block's own input. All reads come before the writes
        // because a slot is read before the firing that overwrites it.
        const std::uint32_t fromHistory = delay < count ? delay : count;
        CopyFromRing(History.IndexOf(DelayLimit - delay), out, fromHistory);
        std::copy(in, in + (count - fromHistory), out + fromHistory);
        const std::uint32_t kept = count < capacity ? count : capacity;
        const std::uint64_t firstSlot =
            Wrapped(std::uint64_t{History.Position} + DelayLimit + (count - kept), capacity);
        CopyToRing(in + (count - kept), static_cast<std::uint32_t>(firstSlot), kept);
        History.Position =
            static_cast<std::uint32_t>(Wrapped(std::uint64_t{History.Position} + count, capacity));
    }

    ~VarDelay() override {
        if (History.Data != nullptr) {
            History.Release(nullptr);
        }
    }

private:
    // v mod capacity, without a division in the common case v < 3 * capacity.
    static std::uint64_t Wrapped(std::uint64_t v, std::uint32_t capacity) {
        if (v >= capacity) v -= capacity;
        if (v >= capacity) v -= capacity;
        return v < capacity ? v : v % capacity;
    }
    std::uint32_t Clamped(int d) const {
        const std::uint32_t wanted = d < 0 ? 0u : static_cast<std::uint32_t>(d);
        return wanted > DelayLimit ? DelayLimit : wanted;
    }
    void CopyFromRing(std::uint32_t slot, Element* to, std::uint32_t n) const {
        const Element* ring = History.Elements();
        const std::uint32_t first = History.Capacity - slot < n ? History.Capacity - slot : n;
        std::copy(ring + slot, ring + slot + first, to);
        std::copy(ring, ring + (n - first), to + first);
    }
    void CopyToRing(const Element* from, std::uint32_t slot, std::uint32_t n) {
        Element* ring = History.Elements();
        const std::uint32_t first = History.Capacity - slot < n ? History.Capacity - slot : n;
        std::copy(from, from + first, ring + slot);
        std::copy(from + first, from + n, ring);
    }
};

}  // namespace Tarvessa
