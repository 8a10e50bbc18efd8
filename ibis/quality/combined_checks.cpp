// Section 5.3 on the tables combined: the current at the pin monotonic, the
// drivers through zero, the clamps without leakage.
#include <algorithm>
#include <cmath>

#include "checks.h"
#include "curves.h"

namespace ibis::quality {

namespace {

struct Placed {
    Points p;
    double ref = 0;
    bool vccRelative = false;  // table voltage = ref - pin voltage
    double At(double v) const { return quality::At(p, vccRelative ? ref - v : v - ref); }
    std::pair<double, double> Range() const {
        const auto [lo, hi] = std::minmax_element(p.x.begin(), p.x.end());
        return vccRelative ? std::make_pair(ref - *hi, ref - *lo)
                           : std::make_pair(*lo + ref, *hi + ref);
    }
};

std::optional<Placed> PlaceOf(const Model& m, Kw key, Corner c, const Rails& r) {
    const auto t = m.iv.find(key);
    if (t == m.iv.end()) return std::nullopt;
    Placed pl;
    pl.p = CornerOf(t->second, c);
    if (pl.p.Empty()) return std::nullopt;
    pl.vccRelative = key == Kw::Pullup || key == Kw::PowerClamp;
    pl.ref = key == Kw::Pullup       ? r.pullup
             : key == Kw::PowerClamp ? r.powerClamp
             : key == Kw::Pulldown   ? r.pulldown
                                     : r.gndClamp;
    if (std::isnan(pl.ref)) return std::nullopt;
    return pl;
}

// The first place the combined current falls as the pin voltage rises, or "".
std::string Falls(const std::vector<Placed>& parts, double lo, double hi) {
    std::vector<double> grid;
    for (const Placed& pl : parts)
        for (double x : pl.p.x) {
            const double v = pl.vccRelative ? pl.ref - x : x + pl.ref;
            if (v >= lo && v <= hi) grid.push_back(v);
        }
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    std::vector<double> current;
    double largest = 0;
    for (double v : grid) {
        double i = 0;
        for (const Placed& pl : parts) i += pl.At(v);
        current.push_back(i);
        largest = std::max(largest, std::fabs(i));
    }
    const double tol = 1e-6 * largest + 1e-12;
    for (std::size_t k = 1; k < grid.size(); ++k)
        if (current[k] < current[k - 1] - tol)
            return "falls from " + Num(current[k - 1]) + " A at " + Num(grid[k - 1]) + " V to " +
                   Num(current[k]) + " A at " + Num(grid[k]) + " V";
    return "";
}

}  // namespace

void MonotonicCheck(const Model& m, Sink& s) {
    if (m.iv.empty()) return;
    std::string wrong;
    for (int c = 0; c < 3 && wrong.empty(); ++c) {
        const Corner corner = static_cast<Corner>(c);
        const Rails r = RailsOf(m, corner);
        std::vector<Placed> clamps;
        for (Kw key : {Kw::PowerClamp, Kw::GndClamp})
            if (auto pl = PlaceOf(m, key, corner, r)) clamps.push_back(*pl);
        bool drove = false;
        for (Kw key : {Kw::Pulldown, Kw::Pullup}) {
            const auto drive = PlaceOf(m, key, corner, r);
            if (!drive || !wrong.empty()) continue;
            drove = true;
            std::vector<Placed> parts = clamps;
            parts.push_back(*drive);
            const auto [lo, hi] = drive->Range();
            const std::string f = Falls(parts, lo, hi);
            if (!f.empty())
                wrong = std::string(KeywordOf(key).name) + " with the clamps, " + kCornerName[c] +
                        ": " + f;
        }
        if (!drove && !clamps.empty() && wrong.empty()) {
            double lo = -INFINITY, hi = INFINITY;
            for (const Placed& pl : clamps) {
                lo = std::max(lo, pl.Range().first);
                hi = std::min(hi, pl.Range().second);
            }
            const std::string f = Falls(clamps, lo, hi);
            if (!f.empty()) wrong = std::string("the clamps, ") + kCornerName[c] + ": " + f;
        }
    }
    s.Add("5.3.7", "", m.name, wrong.empty(),
          wrong.empty() ? "the combined current rises with the pin voltage in every corner"
                        : "the combined current " + wrong);
}

void ZeroAndLeakageChecks(const Model& m, Sink& s) {
    for (Kw key : {Kw::Pulldown, Kw::Pullup}) {
        const auto t = m.iv.find(key);
        if (t == m.iv.end() || Ecl(m.type)) continue;
        std::string wrong;
        for (int c = 0; c < 3 && wrong.empty(); ++c) {
            const Rails r = RailsOf(m, static_cast<Corner>(c));
            const Points p = CornerOf(t->second, static_cast<Corner>(c));
            if (p.Empty()) continue;
            const double atZero = At(p, 0), atVcc = std::isnan(r.pullup) ? NAN : At(p, r.pullup);
            const double tol = std::max(1e-6, 0.01 * std::fabs(atVcc));
            if (!(std::fabs(atZero) <= tol))
                wrong = std::string(kCornerName[c]) + " is " + Num(atZero) + " A at 0 V (" +
                        Num(atVcc) + " A at Vcc; tolerance " + Num(tol) + " A)";
        }
        s.Add(key == Kw::Pulldown ? "5.3.8" : "5.3.9", "", m.name, wrong.empty(),
              wrong.empty() ? "every corner within 1 % of its Vcc current of 0 A at 0 V" : wrong);
    }
    for (Kw key : {Kw::GndClamp, Kw::PowerClamp}) {
        const auto t = m.iv.find(key);
        if (t == m.iv.end()) continue;
        const Rails r = RailsOf(m, kTyp);
        const double vcc = r.powerClamp;
        if (std::isnan(vcc)) continue;
        const Points p = CornerOf(t->second, kTyp);
        if (p.Empty()) continue;
        double least = std::min(std::fabs(At(p, 0)), std::fabs(At(p, vcc)));
        for (std::size_t i = 0; i < p.x.size(); ++i)
            if (p.x[i] >= 0 && p.x[i] <= vcc) least = std::min(least, std::fabs(p.y[i]));
        s.Add("5.3.10", "", m.name, least < 1e-6,
              std::string(key == Kw::GndClamp ? "[GND Clamp]" : "[POWER Clamp]") +
                  ": least current from 0 to " + Num(vcc) + " V is " + Num(least) +
                  " A (limit 1 uA)");
    }
}

}  // namespace ibis::quality
