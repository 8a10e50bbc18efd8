#include "receiver.h"

#include <cstring>

namespace amihost {

Receiver::~Receiver() {
    if (handle_ != nullptr && lib_.Close != nullptr) lib_.Close(handle_);
}

std::string Receiver::Open(const std::string& library, const std::string& parameters, double dt, double bitTime,
                           const std::vector<double>& impulse) {
    if (const std::string e = lib_.Open(library); !e.empty()) return e;
    // The impulse matrix: one column, the channel's response per second.
    std::vector<double> matrix(impulse.size());
    for (std::size_t k = 0; k < impulse.size(); ++k) matrix[k] = impulse[k] / dt;
    std::vector<char> params(parameters.begin(), parameters.end());
    params.push_back('\0');
    char* out = nullptr;
    char* msg = nullptr;
    const long result = lib_.Init(matrix.data(), static_cast<long>(matrix.size()), 0, dt, bitTime, params.data(), &out,
                                  &handle_, &msg);
    if (msg != nullptr) message_ = std::string(msg, strnlen(msg, 1 << 16));
    if (result != 1 || handle_ == nullptr)
        return library + ": the receiver's AMI_Init returned " + std::to_string(result) +
               (message_.empty() ? "" : " (" + message_ + ")");
    return "";
}

bool Receiver::Process(double* wave, std::size_t n, std::vector<double>& clockTimes) {
    if (n == 0) return true;
    clock_.assign(n + 1, -1.0);
    const long result = lib_.GetWave(wave, static_cast<long>(n), clock_.data(), nullptr, handle_);
    for (std::size_t k = 0; k <= n && clock_[k] != -1.0; ++k) clockTimes.push_back(clock_[k]);
    return result == 1;
}

}  // namespace amihost
