// A receiver AMI model after the channel, driven as a simulator drives one:
// AMI_Init gets the channel's impulse response, AMI_GetWave the channel's
// output block by block, and the clock times it reports are collected.
#pragma once

#include <string>
#include <vector>

#include "runner.h"

namespace amihost {

class Receiver {
public:
    Receiver() = default;
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // Loads and initialises the model; an error text, empty on success.
    std::string Open(const std::string& library, const std::string& parameters, double dt, double bitTime,
                     const std::vector<double>& impulse);
    // Equalises a block in place; appends the clock times it reports (seconds).
    bool Process(double* wave, std::size_t n, std::vector<double>& clockTimes);
    const std::string& Message() const { return message_; }

private:
    Library lib_;
    void* handle_ = nullptr;
    std::string message_;
    std::vector<double> clock_;
};

}  // namespace amihost
