// Arithmetic on tables: a corner as points, interpolation, the DC level a
// driver reaches into a resistive fixture, threshold crossings and the
// three-point smoothness measure.
#pragma once

#include <optional>
#include <vector>

#include "data.h"

namespace ibis::quality {

struct Points {
    std::vector<double> x, y;
    bool Empty() const { return x.size() < 2; }
};

// The points of one corner with NA rows left out; a corner that is all NA
// falls back to typical (how simulators read it).
Points CornerOf(const Curve& c, Corner corner);
// Linear interpolation, extended beyond the ends along the end segments.
double At(const Points& p, double x);

// The model's reference voltages for a corner: [Voltage Range] fills those
// not given (pulldown and gnd clamp default to 0 V). NaN when neither is given.
struct Rails {
    double pullup = NAN, pulldown = NAN, powerClamp = NAN, gndClamp = NAN;
};
Rails RailsOf(const Model& m, Corner corner);

// The pin voltage where the buffer's current (pullup or pulldown on, with the
// clamps) equals what a fixture of vFixture through rFixture delivers; empty
// when the tables needed are missing or no level is found.
std::optional<double> DcLevel(const Model& m, Corner corner, bool high, double vFixture,
                              double rFixture);

// The first time a waveform crosses `level` (linear between samples).
std::optional<double> CrossingTime(const Points& wave, double level);

// Appendix A: for every three consecutive points, the distance of the middle
// one from the line through its neighbours; the largest, as a fraction of the
// column's span (0 for fewer than three points or a flat column).
double RoughnessOf(const Points& p);

}  // namespace ibis::quality
