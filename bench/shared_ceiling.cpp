#define FUSED_KERNELS_ONLY
#include TX_FUSED_SOURCE
#include "shared_ceiling.h"

struct SharedCeiling::Kernel {
    fused::FusedOnePass pass;
    explicit Kernel(const sp::Params& p) : pass(p, true) {}
};

namespace {
sp::Params ParamsFor(int samplesPerBit) {
    sp::Params p;
    p.N = samplesPerBit;
    return p;
}
}  // namespace

SharedCeiling::SharedCeiling(int samplesPerBit) : kernel_(new Kernel(ParamsFor(samplesPerBit))) {}
SharedCeiling::~SharedCeiling() = default;
void SharedCeiling::Process(double* wave, std::size_t count) { kernel_->pass.process(wave, count); }
