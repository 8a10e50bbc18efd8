#include "sdomain_iir.h"

#include <cmath>
#include <cstdio>

namespace Tarvessa {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kSmallestNormal = 2.2250738585072014e-308;

// Fills one side (numerator or denominator) of every section with the bilinear
// images of its roots, in the order: complex roots, pairs of real roots, the
// odd real root, fillers. A factor in the last section of an odd-order filter
// takes the first-order form.
void FillSide(double* taps, std::uint32_t sections, bool oddOrder, std::size_t side,
              const Matrix<double>& real, const Matrix<std::complex<double>>& complex, double T,
              double K, double C) {
    std::uint32_t section = 0;
    auto put = [&](double a, double b, double c) {
        double* t = taps + 6 * std::size_t{section} + side;
        t[0] = a;
        t[1] = b;
        t[2] = c;
        ++section;
    };
    auto firstOrderHere = [&] { return oddOrder && section == sections - 1; };

    for (std::uint32_t k = 0; k < complex.Size; ++k) {
        const double sigma = complex.Data[k].real();
        const double omega = complex.Data[k].imag();
        const double A = sigma * sigma + omega * omega;
        const double B = 4.0 * sigma / T;
        put(A + (C - B), 2.0 * (A - C), A + (C + B));
    }
    std::uint32_t r = 0;
    for (; r + 1 < real.Size; r += 2) {
        const double r1 = real.Data[r];
        const double r2 = real.Data[r + 1];
        put((K - r1) * (K - r2), -(K - r2) * (K + r1) - (K - r1) * (K + r2), (K + r1) * (K + r2));
    }
    if (r < real.Size) {
        const double root = real.Data[r];
        if (firstOrderHere()) {
            put(K - root, -(K + root), 0.0);
        } else {
            put(K - root, -2.0 * root, -(K + root));
        }
    }
    while (section < sections) {
        if (firstOrderHere()) {
            put(1.0, 1.0, 0.0);
        } else {
            put(1.0, 2.0, 1.0);
        }
    }
}

template <class E>
void ScaleInPlace(Matrix<E>& m, double factor) {
    for (std::uint32_t k = 0; k < m.Size; ++k) {
        m.Data[k] *= factor;
    }
}

}  // namespace

SDomainIIR::SDomainIIR() {
    RealPoles.Reshape({1, 1});
    RealPoles[0] = -650148.0708064173;
    ComplexPoles.Reshape({1, 2});
    ComplexPoles[0] = {-200906.8027392695, 618327.5592971661};
    ComplexPoles[1] = {-525980.8381424781, 382147.44782641466};
    Outputs.SetSize(1);
    Taps = nullptr;
}

bool SDomainIIR::Initialize() {
    // Not ready until this Initialize succeeds: a failure below leaves the
    // taps as they are but never fires on them.
    ReadySections = 0;
    if (!(SampleRate > 0.0)) {
        ReportError(this, "SampleRate must be positive.");
        return false;
    }
    if (FrequencyUnit == 1) {
        ScaleInPlace(RealPoles, kTwoPi);
        ScaleInPlace(RealZeros, kTwoPi);
        ScaleInPlace(ComplexPoles, kTwoPi);
        ScaleInPlace(ComplexZeros, kTwoPi);
    }
    const std::uint64_t poles =
        std::uint64_t{RealPoles.Size} + 2 * std::uint64_t{ComplexPoles.Size};
    const std::uint64_t zeros =
        std::uint64_t{RealZeros.Size} + 2 * std::uint64_t{ComplexZeros.Size};
    const std::uint64_t order = poles > zeros ? poles : zeros;

    if (order == 0) {
        FreeTaps();
        Taps = new double[6]{GainConstant, 0.0, 0.0, 1.0, 0.0, 0.0};
        TapCount = 6;
        return BiquadCascade::Initialize();
    }

    const std::uint64_t sections = (order + 1) / 2;
    if (sections * 6 > 0x7FFFFFFFull) {
        throw std::bad_alloc();
    }
    const auto S = static_cast<std::uint32_t>(sections);
    FreeTaps();
    Taps = detail::AllocateArray<double>(6 * std::uint64_t{S});
    TapCount = static_cast<std::int32_t>(6 * S);

    const double T = 1.0 / SampleRate;
    const double K = 2.0 / T;
    const double C = 4.0 / (T * T);
    const bool odd = order % 2 == 1;
    FillSide(Taps, S, odd, 0, RealZeros, ComplexZeros, T, K, C);
    FillSide(Taps, S, odd, 3, RealPoles, ComplexPoles, T, K, C);

    // A root at s = K maps to a factor whose leading coefficient is zero; the
    // normalisations below would divide by it.
    for (std::uint32_t k = 0; k < S; ++k) {
        const double* t = Taps + 6 * std::size_t{k};
        const bool badPole = std::fabs(t[3]) < kSmallestNormal;
        const bool badZero = std::fabs(t[0]) < kSmallestNormal;
        if (badPole || badZero) {
            const char* root = badPole ? "pole" : "zero";
            char text[192];
            std::snprintf(text, sizeof text,
                          "The %s factor for biquad number %lu has a zero leading coefficient. "
                          "A %s must not lie at 2*SampleRate, where the bilinear transform is "
                          "undefined.",
                          root, static_cast<unsigned long>(k) + 1, root);
            ReportError(this, text);
            FreeTaps();
            TapCount = 0;
            return false;
        }
    }

    for (std::uint32_t k = 0; k < S; ++k) {
        double* t = Taps + 6 * std::size_t{k};
        const double d0 = t[3];
        t[0] /= d0;
        t[1] /= d0;
        t[2] /= d0;
        t[4] /= d0;
        t[5] /= d0;
        t[3] = 1.0;
    }
    double g = GainConstant;
    for (std::uint32_t k = 0; k < S; ++k) {
        double* t = Taps + 6 * std::size_t{k};
        const double n0 = t[0];
        g *= n0;
        t[1] /= n0;
        t[2] /= n0;
        t[0] = 1.0;
    }
    // Every section carries the same share of the gain. A negative gain has no
    // real S-th root: each section gets |g|^(1/S) and the first one the sign.
    const double share = S == 1 ? g : std::pow(std::fabs(g), 1.0 / static_cast<double>(S));
    for (std::uint32_t k = 0; k < S; ++k) {
        double* t = Taps + 6 * std::size_t{k};
        const double f = (S > 1 && k == 0 && g < 0.0) ? -share : share;
        t[0] *= f;
        t[1] *= f;
        t[2] *= f;
    }
    return BiquadCascade::Initialize();
}

bool SDomainIIR::Finalize() {
    FreeTaps();
    ReadySections = 0;
    return BiquadCascade::Finalize();
}

SDomainIIR::~SDomainIIR() { FreeTaps(); }

// Frees the taps and leaves TapCount as it was.
void SDomainIIR::FreeTaps() {
    delete[] Taps;
    Taps = nullptr;
}

}  // namespace Tarvessa
