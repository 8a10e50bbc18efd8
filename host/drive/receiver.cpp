#include "receiver.h"

namespace amihost {

std::vector<double> ImpulseMatrixOf(const std::vector<double>& impulse, double dt) {
    std::vector<double> matrix(impulse.size());
    for (std::size_t k = 0; k < impulse.size(); ++k) matrix[k] = impulse[k] / dt;
    return matrix;
}

ProbeResponses ReceiverResponses(const Library& lib, const RunConfig& config,
                                 const std::vector<double>& impulse, const ProbeResponses& atInput,
                                 const StatEyeOptions& options,
                                 std::vector<std::string>& breaches) {
    if (!atInput.ok) {
        ProbeResponses r;
        r.note = atInput.note;
        return r;
    }
    const std::size_t length =
        atInput.pulse.size() + 64 * static_cast<std::size_t>(config.samplesPerBit);
    ResponseInputs in = InputsFrom(atInput, length);
    const std::vector<double> matrix =
        ImpulseMatrixOf(impulse, config.bitTime / config.samplesPerBit);
    const char* names[3] = {"receiver's run of 0s", "receiver's pulse run", "receiver's step run"};
    std::vector<double>* waves[3] = {&in.zeros, &in.pulse, &in.step};
    bool ok = true;
    for (int k = 0; k < 3; ++k) {
        ModelSession s;
        std::vector<double> clock;
        ok = s.Init(lib, config, matrix) && ok;
        if (ok) ok = s.GetWave(waves[k]->data(), waves[k]->size(), 0, &clock) && ok;
        s.Close();
        for (const std::string& b : s.Result().breaches)
            breaches.push_back(std::string(names[k]) + ": " + b);
        if (!s.Result().Ok()) ok = false;
    }
    if (!ok) {
        ProbeResponses r;
        r.note = "no receiver responses: the receiver failed in its response runs";
        return r;
    }
    return AnalyseResponses(in.zeros, in.pulse, in.step, atInput.start, config.samplesPerBit,
                            options);
}

double ClockSample(double clockTime, double bitTime, int samplesPerBit, double decision) {
    return (clockTime + decision) * samplesPerBit / bitTime;
}

}  // namespace amihost
