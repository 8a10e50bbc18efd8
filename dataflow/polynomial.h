// Polynomial: maps each token x to c0 + c1 x + ... + c(n-1) x^(n-1) by Horner's
// rule. The block owns its Coefficients matrix.
#pragma once

#include "circular_buffer.h"
#include "df_model.h"
#include "kernels.h"
#include "matrix.h"

namespace Tarvessa {

// The second parameter is a variant tag; the runtime defines only 0.
template <class T, int Variant>
class Polynomial final : public DFModel {
public:
    CircularBuffer<T> Input;
    CircularBuffer<T> Output;
    Matrix<T> Coefficients;  // constant term first

    bool Initialize() override {
        if (Coefficients.Size >= 1) {
            return true;
        }
        ReportError(this, "Coeffecients array must not be empty");
        return false;
    }

    bool Run() override {
        Output.Current() = kernels::Horner(Coefficients.Data, Coefficients.Size, Input.Current());
        return true;
    }
    // `count` firings over arrays instead of the ports; `out` may be `in`.
    void RunBlock(const T* in, T* out, std::uint32_t count) const {
        kernels::HornerBlock(Coefficients.Data, Coefficients.Size, in, out, count);
    }
    // For many small blocks with the same coefficients (double only): the
    // plan of which Horner steps to skip, made once, then RunBlock with it.
    kernels::HornerPlan Plan() const {
        return kernels::PlanHorner(Coefficients.Data, Coefficients.Size);
    }
    void RunBlock(const kernels::HornerPlan& plan, const T* in, T* out, std::uint32_t count) const {
        kernels::HornerBlock(plan, in, out, count);
    }

    bool Finalize() override { return true; }
    ~Polynomial() override = default;
};

}  // namespace Tarvessa
