// SDomainIIR: an analog prototype H(s) = GainConstant * prod(s - z) / prod(s - p)
// mapped to the z-domain by the bilinear transform s = K (1 - 1/z) / (1 + 1/z),
// K = 2 * SampleRate (no prewarping), and run as a biquad cascade.
//
// Every complex pole or zero stands for itself and its conjugate. The filter
// owns the base's Taps: it allocates them in Initialize and frees them in
// Finalize and in its destructor.
#pragma once

#include <complex>

#include "biquad_cascade.h"
#include "matrix.h"

namespace Tarvessa {

class SDomainIIR final : public BiquadCascade {
public:
    double SampleRate = 1000000.0;
    double GainConstant = 1.1616128054708951e+29;
    Matrix<double> RealPoles;
    Matrix<std::complex<double>> ComplexPoles;
    Matrix<double> RealZeros;
    Matrix<std::complex<double>> ComplexZeros;
    std::int32_t FrequencyUnit = 0;  // 1: hertz; anything else: radians per second

    // Defaults: a fifth-order Butterworth low-pass, cut-off 650148.0708064173
    // rad/s, unity gain at DC; one output (the whole cascade).
    SDomainIIR();
    bool Initialize() override;
    bool Finalize() override;
    ~SDomainIIR() override;

private:
    void FreeTaps();
};

}  // namespace Tarvessa
