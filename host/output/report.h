// What a probe of the link reports: its responses, the eye of the stream at
// it, as summary.json entries and pictures. One shape for every probe (the
// transmitter's output, the channel's, the receiver's).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "link/eye.h"
#include "link/responses.h"
#include "output.h"

namespace amihost {

struct ProbeReport {
    std::string key;     // "tx_output", "channel_output", "rx_output"
    std::string label;   // "at the transmitter's output", ...
    std::string suffix;  // file names: "eye" + suffix + ".png"
    ProbeResponses responses;
    EyeMetrics eye;  // of the stream (valid only for a PRBS or file stimulus)
    double targetBer = 1e-12;
};

// A number, or null when it is not finite.
nlohmann::json JsonNumber(double v);

// Every metric of the probe: settled levels, rise time, peak-to-peak,
// cursors, the eye, the statistical eye with its peak-distortion bound.
nlohmann::json ProbeJson(const ProbeReport& p, double bitTime, int samplesPerBit);

// The probe's pictures into `dir`: eye<suffix>.png (from `density`),
// pulse<suffix>.png, step<suffix>.png, and with a statistical eye
// stat_eye<suffix>.png and bathtub<suffix>.png. Appends (file, status) pairs.
void ProbePictures(const ProbeReport& p, const EyeDensity& density, const std::string& dir,
                   double bitTime, int samplesPerBit, const std::string& titleExtra,
                   std::vector<std::pair<std::string, Status>>& written);

// Appends "x,y\n" lines with the shortest round-trip form of each number.
void AppendCsvNumber(std::string& out, double v);

// A printf-style number.
std::string Format(const char* format, double v);

}  // namespace amihost
