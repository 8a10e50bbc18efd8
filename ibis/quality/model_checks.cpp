// Sections 5.1 to 5.3: a model's general values and its I-V tables.
#include <algorithm>
#include <cmath>

#include "checks.h"
#include "curves.h"

namespace ibis::quality {

namespace {

constexpr double kRoughLimit =
    0.05;  // Appendix A: a point off its neighbours' line by 5 % of the span

std::string TripleText(const Triple& t, double scale = 1) {
    std::string s;
    for (int k = 0; k < 3; ++k)
        s += (k ? " " : "") + (std::isnan(t.v[k]) ? "NA" : Num(t.v[k] * scale));
    return s;
}

void CCompChecks(const Model& m, Sink& s) {
    static const char* kParts[] = {"C_comp_pullup", "C_comp_pulldown", "C_comp_power_clamp",
                                   "C_comp_gnd_clamp"};
    std::string order, wrong;
    double partsTyp = 0;
    bool anyPart = false;
    const auto ordered = [&](const Triple& t, const char* name) {
        if (!t.given || std::isnan(t.v[1]) || std::isnan(t.v[2])) return;
        if ((t.v[1] > t.v[0] || t.v[0] > t.v[2]) && order.empty())
            order = std::string(name) + " " + TripleText(t, 1e12) + " pF is not min <= typ <= max";
    };
    ordered(m.cComp, "C_comp");
    for (int k = 0; k < 4; ++k) {
        const Triple& t = m.cCompParts[k];
        ordered(t, kParts[k]);
        if (!t.given) continue;
        anyPart = true;
        if (!std::isnan(t.v[0])) partsTyp += t.v[0];
        for (double v : t.v)
            if (!std::isnan(v) && v < 0 && wrong.empty())
                wrong = std::string(kParts[k]) + " " + Num(v * 1e12) + " pF is negative";
    }
    s.Add("5.1.1", "", m.name, order.empty(), order.empty() ? "C_comp min <= typ <= max" : order);
    const double total = m.cComp.given ? m.cComp.v[0] : partsTyp;
    if (!m.cComp.given && !anyPart) wrong = "no C_comp";
    if (wrong.empty() && m.cComp.given && !(m.cComp.v[0] > 0))
        wrong = "C_comp " + TripleText(m.cComp, 1e12) + " pF is not positive";
    if (wrong.empty() && m.cComp.given && anyPart &&
        std::fabs(partsTyp - m.cComp.v[0]) > 0.01 * m.cComp.v[0])
        wrong = "the C_comp_* sum to " + Num(partsTyp * 1e12) + " pF, C_comp is " +
                Num(m.cComp.v[0] * 1e12) + " pF";
    if (wrong.empty() && total > 20e-12)
        wrong = "C_comp " + Num(total * 1e12) + " pF exceeds 20 pF";
    s.Add("5.1.2", "", m.name, wrong.empty(),
          wrong.empty() ? "C_comp " + Num(total * 1e12) + " pF" : wrong);
}

void RangeChecks(const Model& m, Sink& s) {
    const bool temp = m.temperature.given && !std::isnan(m.temperature.v[0]) &&
                      !std::isnan(m.temperature.v[1]) && !std::isnan(m.temperature.v[2]);
    s.Add("5.1.3", "", m.name, temp,
          temp ? "[Temperature Range] " + TripleText(m.temperature)
               : "no [Temperature Range] with typ, min and max");
    const bool refs =
        m.pullupRef.given && m.pulldownRef.given && m.powerClampRef.given && m.gndClampRef.given;
    std::string wrong;
    if (!m.voltage.given && !refs) wrong = "no [Voltage Range] and not all four references";
    const auto check = [&](const Triple& t, const char* name, bool strict) {
        if (!t.given || !wrong.empty()) return;
        const double typ = std::fabs(t.v[0]), mn = std::fabs(t.v[1]), mx = std::fabs(t.v[2]);
        const bool ok = strict ? (mn < typ && typ < mx) : (mn <= typ && typ <= mx);
        if (!ok || std::isnan(typ + mn + mx))
            wrong = std::string(name) + " " + TripleText(t) + " is not min " +
                    (strict ? "< typ <" : "<= typ <=") + " max";
    };
    check(m.voltage, "[Voltage Range]", true);
    check(m.pullupRef, "[Pullup Reference]", false);
    check(m.pulldownRef, "[Pulldown Reference]", false);
    check(m.powerClampRef, "[POWER Clamp Reference]", false);
    check(m.gndClampRef, "[GND Clamp Reference]", false);
    s.Add("5.1.4", "", m.name, wrong.empty(),
          wrong.empty() ? (m.voltage.given ? "[Voltage Range] " + TripleText(m.voltage)
                                           : "all four references given")
                        : wrong);
}

void ThresholdChecks(const Model& m, Sink& s) {
    if (Receives(m.type) && m.type.find("diff") == std::string::npos) {
        std::string wrong;
        if (std::isnan(m.vinl) || std::isnan(m.vinh))
            wrong = "Vinl and Vinh not both given";
        else if (!(m.vinl < m.vinh))
            wrong = "Vinl " + Num(m.vinl) + " is not below Vinh " + Num(m.vinh);
        else if (Drives(m.type) && !std::isnan(m.vmeas) && !(m.vinl < m.vmeas && m.vmeas < m.vinh))
            wrong = "Vmeas " + Num(m.vmeas) + " is not between Vinl " + Num(m.vinl) + " and Vinh " +
                    Num(m.vinh);
        s.Add("5.2.1", "", m.name, wrong.empty(),
              wrong.empty() ? "Vinl " + Num(m.vinl) + " V < Vinh " + Num(m.vinh) + " V" : wrong);
    }
    // Open_sink sinks current as Open_drain does, so its reference is above
    // too (the specification's sentence groups it with Open-source).
    const bool above = OpenDrain(m.type);
    const bool below = OpenSource(m.type) || (Ecl(m.type) && Drives(m.type));
    if (!above && !below) return;
    std::string wrong;
    if (std::isnan(m.vref) || std::isnan(m.vmeas))
        wrong = "Vref and Vmeas not both given";
    else if (above && !(m.vref > m.vmeas))
        wrong = "Vref " + Num(m.vref) + " is not above Vmeas " + Num(m.vmeas);
    else if (below && !(m.vref < m.vmeas))
        wrong = "Vref " + Num(m.vref) + " is not below Vmeas " + Num(m.vmeas);
    s.Add("5.6.2", "", m.name, wrong.empty(),
          wrong.empty() ? "Vref " + Num(m.vref) + " V, Vmeas " + Num(m.vmeas) + " V" : wrong);
}

// The table's name as the specification writes it.
std::string Bracketed(Kw key) {
    switch (key) {
        case Kw::PowerClamp:
            return "[POWER Clamp]";
        case Kw::GndClamp:
            return "[GND Clamp]";
        case Kw::IssoPu:
            return "[ISSO PU]";
        case Kw::IssoPd:
            return "[ISSO PD]";
        case Kw::Pullup:
            return "[Pullup]";
        case Kw::Pulldown:
            return "[Pulldown]";
        default:
            return "[" + std::string(KeywordOf(key).spelled) + "]";
    }
}

// |min| <= |typ| <= |max| where the drive is active (table voltage 0 to
// Vcc, currents above 5 % of the largest there), within 5 % of typ: compensated
// buffers' corners nearly overlay.
void OrderCheck(const Model& m, double vcc, Sink& s) {
    std::string wrong;
    for (Kw key : {Kw::Pulldown, Kw::Pullup}) {
        const auto t = m.iv.find(key);
        if (t == m.iv.end() || !wrong.empty()) continue;
        const Curve& c = t->second;
        double largest = 0;
        for (std::size_t i = 0; i < c.x.size(); ++i)
            if (c.x[i] > 0 && c.x[i] <= vcc) largest = std::max(largest, std::fabs(c.y[i][0]));
        for (std::size_t i = 0; i < c.x.size() && wrong.empty(); ++i) {
            const double x = c.x[i];
            const auto& y = c.y[i];
            if (!(x > 0 && x <= vcc) || std::isnan(y[0] + y[1] + y[2]) ||
                std::fabs(y[0]) < 0.05 * largest)
                continue;
            const double tol = 0.05 * std::fabs(y[0]);
            if (std::fabs(y[1]) > std::fabs(y[0]) + tol || std::fabs(y[0]) > std::fabs(y[2]) + tol)
                wrong = Bracketed(key) + " at " + Num(x) + " V: typ " + Num(y[0]) + " min " +
                        Num(y[1]) + " max " + Num(y[2]) + " A";
        }
    }
    s.Add("5.3.1", "", m.name, wrong.empty(),
          wrong.empty() ? "|min| <= |typ| <= |max| from 0 to Vcc (within 5 % of typ)"
                        : wrong + " out of order");
}

void SweepChecks(const Model& m, const Rails& r, Sink& s) {
    struct Sweep {
        const char* iq;
        Kw key;
        double vcc, from, to;  // required: from*vcc to to*vcc
    };
    const Sweep sweeps[] = {{"5.3.2", Kw::Pullup, r.pullup, -1, 2},
                            {"5.3.3", Kw::Pulldown, r.pullup, -1, 2},
                            {"5.3.4", Kw::PowerClamp, r.powerClamp, -1, 0},
                            {"5.3.5", Kw::GndClamp, r.powerClamp, -1, 1}};
    for (const Sweep& w : sweeps) {
        const auto t = m.iv.find(w.key);
        if (t == m.iv.end() || t->second.x.empty() || std::isnan(w.vcc)) continue;
        const auto [lo, hi] = std::minmax_element(t->second.x.begin(), t->second.x.end());
        const double slack = 0.01 * std::fabs(w.vcc);
        const double a = w.from * w.vcc, b = w.to * w.vcc;
        const bool ok = *lo <= std::min(a, b) + slack && *hi >= std::max(a, b) - slack;
        s.Add(w.iq, "", m.name, ok,
              Bracketed(w.key) + " sweeps " + Num(*lo) + " to " + Num(*hi) + " V; needs " +
                  Num(std::min(a, b)) + " to " + Num(std::max(a, b)) + " V (Vcc " + Num(w.vcc) +
                  ")");
    }
}

// An ECL model's I-V tables from -Vcc to 2 Vcc, "where Vcc for ECL is defined
// as the difference between the most positive supply voltage and the most
// negative" (its rails as its reference keywords give them).
void EclSweepCheck(const Model& m, const Rails& r, Sink& s) {
    double most = -INFINITY, least = INFINITY;
    for (const double rail : {r.pullup, r.pulldown, r.powerClamp, r.gndClamp}) {
        if (std::isnan(rail)) continue;
        most = std::max(most, rail);
        least = std::min(least, rail);
    }
    const double vcc = most - least;
    if (!Ecl(m.type) || !(vcc > 0)) return;
    std::string shortOf;
    for (Kw key : {Kw::Pullup, Kw::Pulldown, Kw::PowerClamp, Kw::GndClamp}) {
        const auto t = m.iv.find(key);
        if (t == m.iv.end() || t->second.x.empty() || !shortOf.empty()) continue;
        const auto [lo, hi] = std::minmax_element(t->second.x.begin(), t->second.x.end());
        const double slack = 0.01 * vcc;
        if (*lo > -vcc + slack || *hi < 2 * vcc - slack)
            shortOf = Bracketed(key) + " sweeps " + Num(*lo) + " to " + Num(*hi) + " V";
    }
    const std::string need = "needs " + Num(-vcc) + " to " + Num(2 * vcc) + " V (Vcc " + Num(vcc) +
                             ", from " + Num(least) + " to " + Num(most) + " V)";
    s.Add("5.3.13", "", m.name, shortOf.empty(),
          (shortOf.empty() ? "every I-V table sweeps the range; " : shortOf + "; ") + need);
}

// Flat runs between moving parts: two or more in a column is stair-stepping.
int FlatSteps(const Points& p) {
    int steps = 0;
    for (std::size_t i = 1; i + 2 < p.y.size(); ++i) {
        if (p.y[i] != p.y[i + 1] || p.y[i] == 0 || p.y[i - 1] == p.y[i]) continue;
        std::size_t j = i + 1;
        while (j + 1 < p.y.size() && p.y[j + 1] == p.y[i]) ++j;
        if (j + 1 < p.y.size()) ++steps;
    }
    return steps;
}

void ShapeChecks(const Model& m, Sink& s) {
    std::string stairs, sparse;
    // In the order of the tables' names, as reported since the checks began.
    for (Kw key : {Kw::GndClamp, Kw::PowerClamp, Kw::Pulldown, Kw::Pullup}) {
        const auto found = m.iv.find(key);
        if (found == m.iv.end()) continue;
        const Curve& table = found->second;
        for (int c = 0; c < 3; ++c) {
            const Points p = CornerOf(table, static_cast<Corner>(c));
            if (FlatSteps(p) >= 2 && stairs.empty())
                stairs = Bracketed(key) + " " + kCornerName[c] + ": " +
                         std::to_string(FlatSteps(p)) + " flat steps between jumps";
            const double rough = RoughnessOf(p);
            if (sparse.empty() && (table.x.size() < 10 || rough > kRoughLimit))
                sparse = Bracketed(key) + " " + kCornerName[c] + ": " +
                         std::to_string(table.x.size()) + " points, a point " + Num(100 * rough) +
                         " % of the span off its neighbours' line";
        }
    }
    if (m.iv.empty()) return;
    s.Add("5.3.6", "", m.name, stairs.empty(), stairs.empty() ? "no stair-stepping" : stairs);
    s.Add("5.3.14", "", m.name, sparse.empty(),
          sparse.empty() ? "10 points or more, no point off its neighbours' line by 5 % of the span"
                         : sparse);
}

}  // namespace

void ModelGeneralChecks(const Model& m, Sink& s) {
    CCompChecks(m, s);
    RangeChecks(m, s);
    ThresholdChecks(m, s);
}

void IvChecks(const Model& m, Sink& s) {
    const Rails r = RailsOf(m, kTyp);
    if (m.iv.count(Kw::Pullup) || m.iv.count(Kw::Pulldown)) OrderCheck(m, r.pullup, s);
    SweepChecks(m, r, s);
    if (!m.iv.empty()) EclSweepCheck(m, r, s);
    ShapeChecks(m, s);
    MonotonicCheck(m, s);
    ZeroAndLeakageChecks(m, s);
}

}  // namespace ibis::quality
