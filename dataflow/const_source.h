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
