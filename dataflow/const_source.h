// Constant sources: a value after an initial delay counted in firings.
#pragma once

#include "circular_buffer.h"
#include "df_model.h"

namespace Tarvessa {

template <class T, class B>
class ConstUnTimedBase : public DFModel {
public:
    B Output;
    T Value{};  // the derived class gives its own default
    std::int32_t InitialDelay = 0;
    std::uint32_t FiringCount = 0;

    bool Initialize() override {
        FiringCount = 0;
        return CheckParameters();
    }

    bool Run() override {
        // Compared in 64 bits: InitialDelay is valid (>= 0) once Initialize passed.
        if (static_cast<std::int64_t>(FiringCount) < InitialDelay) {
            OutputInitialValue();
        } else {
            Output.Current() = Value;
        }
        ++FiringCount;
        return true;
    }

    // `count` firings into an array. A token inside the initial delay is the
    // one OutputInitialValue writes, so the output port must be wired then.
    void RunBlock(T* out, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (static_cast<std::int64_t>(FiringCount) < InitialDelay) {
                OutputInitialValue();
                out[i] = Output.Current();
            } else {
                out[i] = Value;
            }
            ++FiringCount;
        }
    }

    // When each of the next `count` firings would give Value, takes them
    // (advancing FiringCount as they would, writing nothing) and returns true;
    // otherwise changes nothing and returns false. The count wraps modulo 2^32
    // as in Run, which restarts the initial delay.
    bool RunBlockSteady(std::uint32_t count) {
        const bool steady = InitialDelay <= 0 ||
                            (static_cast<std::int64_t>(FiringCount) >= InitialDelay &&
                             std::uint64_t{FiringCount} + count <= std::uint64_t{0xFFFFFFFFu} + 1u);
        if (steady) {
            FiringCount += count;
        }
        return steady;
    }

    bool CheckParameters() override {
        if (InitialDelay < 0) {
            ReportError(this, "InitialDelay must be >= 0");
            return false;
        }
        return true;
    }

    ~ConstUnTimedBase() override = default;
    // Writes the token of a firing inside the initial delay.
    virtual void OutputInitialValue() = 0;
};

template <class T>
class ConstUnTimed final : public ConstUnTimedBase<T, CircularBuffer<T>> {
public:
    ConstUnTimed() { this->Value = T{}; }
    ~ConstUnTimed() override = default;
    void OutputInitialValue() override { this->Output.Current() = T{}; }
};

}  // namespace Tarvessa
