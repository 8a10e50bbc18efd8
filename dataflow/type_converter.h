// Type converters between ring buffers of different element types.
#pragma once

#include "circular_buffer.h"
#include "df_model.h"
#include "kernels.h"

namespace Tarvessa {

// Double to int, halves away from zero. Values beyond the int range saturate
// to it and NaN gives 0, so no conversion is ever undefined.
struct TypeConverterRound {
    static double Rounded(double x) { return kernels::RoundHalfAway(x); }
    static void Convert(double x, int& out) { out = kernels::RoundToInt(x); }
    static void ConvertBlock(const double* in, int* out, std::uint32_t count) {
        kernels::RoundToIntBlock(in, out, count);
    }
};

class TypeConverterBase : public DFModel {
public:
    ~TypeConverterBase() override = default;
};

template <class In, class Out, class Policy>
class TypeConverter : public TypeConverterBase {
public:
    In Input;
    Out Output;
    ~TypeConverter() override = default;
};

template <class In, class Out, class Policy>
class ScalarToScalar final : public TypeConverter<In, Out, Policy> {
public:
    bool Run() override {
        Policy::Convert(this->Input.Current(), this->Output.Current());
        return true;
    }
    // `count` firings over arrays instead of the ports.
    void RunBlock(const typename In::Element* in, typename Out::Element* out,
                  std::uint32_t count) const {
        Policy::ConvertBlock(in, out, count);
    }
    ~ScalarToScalar() override = default;
};

}  // namespace Tarvessa
