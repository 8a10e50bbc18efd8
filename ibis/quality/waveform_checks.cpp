// Sections 5.4 and 5.5: V-T tables and [Ramp] against each other and against
// the levels the I-V tables reach into their fixtures.
#include <algorithm>
#include <cmath>

#include "checks.h"
#include "curves.h"

namespace ibis::quality {

namespace {

std::string EdgeName(const Waveform& w) {
    return std::string(w.rising ? "[Rising Waveform]" : "[Falling Waveform]") + " of line " +
           std::to_string(w.table.line);
}

double FixtureVoltage(const Waveform& w, int c) {
    return std::isnan(w.vFixture[c]) ? w.vFixture[kTyp] : w.vFixture[c];
}

// The samples of the edge: from the last within 2 % of the start level to the
// first within 2 % of the end level.
std::size_t EdgeSamples(const Points& p) {
    if (p.y.size() < 2) return p.y.size();
    const double a = p.y.front(), b = p.y.back(), band = 0.02 * std::fabs(b - a);
    std::size_t first = 0, last = p.y.size() - 1;
    for (std::size_t i = 0; i < p.y.size(); ++i)
        if (std::fabs(p.y[i] - a) <= band) first = i;
    for (std::size_t i = p.y.size(); i-- > 0;)
        if (std::fabs(p.y[i] - b) <= band) last = i;
    return last >= first ? last - first + 1 : 0;
}

void CountCheck(const Model& m, Sink& s) {
    if (!Drives(m.type)) return;
    int rising = 0, falling = 0;
    for (const Waveform& w : m.waveforms) (w.rising ? rising : falling)++;
    const bool pushPull = m.type == "output" || m.type == "i/o" || m.type == "3-state";
    const int need = pushPull ? 2 : 1;
    s.Add("5.4.1", "", m.name, rising >= need && falling >= need,
          std::to_string(rising) + " rising and " + std::to_string(falling) +
              " falling tables; Model_type " + m.type + " needs " + std::to_string(need) +
              " of each");
}

void DistributionCheck(const Model& m, Sink& s) {
    std::string sparse;
    for (const Waveform& w : m.waveforms)
        for (int c = 0; c < 3 && sparse.empty(); ++c) {
            const std::size_t n = EdgeSamples(CornerOf(w.table, static_cast<Corner>(c)));
            if (n < 10)
                sparse = EdgeName(w) + " " + kCornerName[c] + ": " + std::to_string(n) +
                         " points on its edge (10 needed)";
        }
    if (!m.waveforms.empty())
        s.Add("5.4.2", "", m.name, sparse.empty(),
              sparse.empty() ? "every edge has 10 points or more" : sparse);
}

void EndpointCheck(const Model& m, Sink& s) {
    if (m.waveforms.empty() || Ecl(m.type)) return;
    if (m.addSubmodel || m.driverSchedule) {
        s.NotChecked(*FindIq("5.4.4"), "", m.name,
                     "[Add Submodel] or [Driver Schedule] take part in the levels");
        return;
    }
    std::string wrong;
    int compared = 0;
    for (const Waveform& w : m.waveforms)
        for (int c = 0; c < 3 && wrong.empty(); ++c) {
            const Points p = CornerOf(w.table, static_cast<Corner>(c));
            const double r = w.rFixture + w.rDut;
            const auto low = DcLevel(m, static_cast<Corner>(c), false, FixtureVoltage(w, c), r);
            const auto high = DcLevel(m, static_cast<Corner>(c), true, FixtureVoltage(w, c), r);
            if (p.Empty() || !low || !high) continue;
            ++compared;
            const double start = w.rising ? *low : *high, end = w.rising ? *high : *low;
            const double tol = 0.05 * std::max(std::fabs(*high - *low), 0.01);
            if (std::fabs(p.y.front() - start) > tol || std::fabs(p.y.back() - end) > tol)
                wrong = EdgeName(w) + " " + kCornerName[c] + " runs " + Num(p.y.front()) + " to " +
                        Num(p.y.back()) + " V; the I-V tables into its fixture give " + Num(start) +
                        " to " + Num(end) + " V";
        }
    if (compared == 0 && wrong.empty()) {
        s.NotChecked(*FindIq("5.4.4"), "", m.name,
                     "no waveform with a fixture the tables can load");
        return;
    }
    s.Add("5.4.4", "", m.name, wrong.empty(),
          wrong.empty() ? "every waveform starts and ends within 5 % of the swing of the "
                          "I-V tables' levels"
                        : wrong);
}

}  // namespace

void WaveformChecks(const Model& m, Sink& s) {
    CountCheck(m, s);
    DistributionCheck(m, s);
    EndpointCheck(m, s);
}

namespace {

// The ramp's fixture: rising to ground and falling to the pullup rail for
// push-pull; both to the pullup rail for open-drain, both to ground for open-source.
double RampFixture(const Model& m, bool rising, int c) {
    const Rails r = RailsOf(m, static_cast<Corner>(c));
    if (OpenDrain(m.type)) return r.pullup;
    if (OpenSource(m.type)) return r.pulldown;
    return rising ? r.pulldown : r.pullup;
}

// 60 % of the swing the I-V tables give into the ramp's load, per corner.
std::array<double, 3> IvRampDv(const Model& m, bool rising) {
    std::array<double, 3> dv = {NAN, NAN, NAN};
    const double rLoad = std::isnan(m.ramp.rLoad) ? 50 : m.ramp.rLoad;
    for (int c = 0; c < 3; ++c) {
        const double vf = RampFixture(m, rising, c);
        const auto lo = DcLevel(m, static_cast<Corner>(c), false, vf, rLoad);
        const auto hi = DcLevel(m, static_cast<Corner>(c), true, vf, rLoad);
        if (lo && hi) dv[c] = 0.6 * std::fabs(*hi - *lo);
    }
    return dv;
}

void DvChecks(const Model& m, Sink& s) {
    std::string wrong, order;
    bool any = false;
    for (bool rising : {true, false}) {
        const std::array<double, 3> iv = IvRampDv(m, rising);
        const Triple& dv = rising ? m.ramp.dvR : m.ramp.dvF;
        const char* edge = rising ? "dV/dt_r" : "dV/dt_f";
        for (int c = 0; c < 3; ++c) {
            if (std::isnan(iv[c]) || std::isnan(dv.v[c])) continue;
            any = true;
            if (std::fabs(dv.v[c] - iv[c]) > 0.05 * iv[c] && wrong.empty())
                wrong = std::string(edge) + " " + kCornerName[c] + " dV " + Num(dv.v[c]) +
                        " V; 60 % of the I-V tables' swing into the load is " + Num(iv[c]) + " V";
        }
        const double ivSpread = iv[kMax] - iv[kMin], rampSpread = dv.v[kMax] - dv.v[kMin];
        if (std::fabs(ivSpread) > 0.02 * iv[kTyp] && std::fabs(rampSpread) > 0.02 * dv.v[kTyp] &&
            (ivSpread > 0) != (rampSpread > 0) && order.empty())
            order = std::string(edge) + " dV min " + Num(dv.v[kMin]) + " max " + Num(dv.v[kMax]) +
                    " V; the I-V tables give min " + Num(iv[kMin]) + " max " + Num(iv[kMax]) + " V";
    }
    if (!any) {
        s.NotChecked(*FindIq("5.5.3"), "", m.name, "the I-V tables give no levels into the load");
        return;
    }
    s.Add("5.5.2", "", m.name, order.empty(),
          order.empty() ? "min and max dV ordered as the I-V corners" : order + ": swapped");
    s.Add("5.5.3", "", m.name, wrong.empty(),
          wrong.empty() ? "every dV within 5 % of 60 % of the I-V tables' swing" : wrong);
}

// The waveform measured with the ramp's fixture, or null.
const Waveform* RampWaveform(const Model& m, bool rising) {
    const double rLoad = std::isnan(m.ramp.rLoad) ? 50 : m.ramp.rLoad;
    for (const Waveform& w : m.waveforms) {
        if (w.rising != rising || !(std::fabs(w.rFixture - rLoad) <= 0.01 * rLoad)) continue;
        bool match = true;
        for (int c = 0; c < 3; ++c) {
            const double want = RampFixture(m, rising, c), have = FixtureVoltage(w, c);
            match = match && std::fabs(want - have) <= 0.01 * std::max(1.0, std::fabs(want));
        }
        if (match) return &w;
    }
    return nullptr;
}

void DtCheck(const Model& m, Sink& s) {
    std::string wrong;
    int compared = 0;
    for (bool rising : {true, false}) {
        const Waveform* w = RampWaveform(m, rising);
        if (w == nullptr) continue;
        const Triple& dt = rising ? m.ramp.dtR : m.ramp.dtF;
        for (int c = 0; c < 3; ++c) {
            const Points p = CornerOf(w->table, static_cast<Corner>(c));
            if (p.Empty() || std::isnan(dt.v[c])) continue;
            const double a = p.y.front(), b = p.y.back();
            const auto t20 = CrossingTime(p, a + 0.2 * (b - a));
            const auto t80 = CrossingTime(p, a + 0.8 * (b - a));
            if (!t20 || !t80) continue;
            ++compared;
            const double edge = *t80 - *t20;
            if (std::fabs(dt.v[c] - edge) > 0.1 * edge && wrong.empty())
                wrong = std::string(rising ? "dV/dt_r" : "dV/dt_f") + " " + kCornerName[c] +
                        " dt " + Num(dt.v[c] * 1e12) + " ps; " + EdgeName(*w) +
                        " crosses 20-80 % in " + Num(edge * 1e12) + " ps";
        }
    }
    if (compared == 0) {
        s.NotChecked(*FindIq("5.5.4"), "", m.name, "no waveform with the ramp's fixture");
        return;
    }
    s.Add("5.5.4", "", m.name, wrong.empty(),
          wrong.empty() ? "every dt within 10 % of its waveform's 20-80 % time" : wrong);
}

}  // namespace

void RampChecks(const Model& m, Sink& s) {
    if (!m.hasRamp || !Drives(m.type) || Ecl(m.type)) return;
    if (m.addSubmodel || m.driverSchedule) return;
    DvChecks(m, s);
    DtCheck(m, s);
}

}  // namespace ibis::quality
