// The hand-fused ceiling kernel kept outside this repository (fused.cpp), at
// the default codes, behind a small interface. Built only when it is present.
#pragma once

#include <cstddef>
#include <memory>

class SharedCeiling {
public:
    explicit SharedCeiling(int samplesPerBit);
    ~SharedCeiling();
    void Process(double* wave, std::size_t count);

private:
    struct Kernel;
    std::unique_ptr<Kernel> kernel_;
};
