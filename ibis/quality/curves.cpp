#include "curves.h"

#include <algorithm>
#include <cmath>

namespace ibis::quality {

Points CornerOf(const Curve& c, Corner corner) {
    bool any = false;
    for (const auto& y : c.y) any = any || !std::isnan(y[corner]);
    const Corner use = any ? corner : kTyp;
    Points p;
    for (std::size_t i = 0; i < c.x.size(); ++i)
        if (!std::isnan(c.y[i][use])) {
            p.x.push_back(c.x[i]);
            p.y.push_back(c.y[i][use]);
        }
    return p;
}

double At(const Points& p, double x) {
    const std::size_t n = p.x.size();
    if (n == 0) return NAN;
    if (n == 1) return p.y[0];
    std::size_t i = 1;
    while (i + 1 < n && p.x[i] < x) ++i;
    const double dx = p.x[i] - p.x[i - 1];
    if (dx == 0) return p.y[i];
    return p.y[i - 1] + (p.y[i] - p.y[i - 1]) * (x - p.x[i - 1]) / dx;
}

Rails RailsOf(const Model& m, Corner corner) {
    const auto pick = [&](const Triple& t, double fallback) {
        if (!t.given) return fallback;
        return std::isnan(t.v[corner]) ? t.v[kTyp] : t.v[corner];
    };
    const double vcc = m.voltage.given ? pick(m.voltage, NAN) : NAN;
    Rails r;
    r.pullup = pick(m.pullupRef, vcc);
    r.powerClamp = pick(m.powerClampRef, vcc);
    r.pulldown = pick(m.pulldownRef, 0.0);
    r.gndClamp = pick(m.gndClampRef, 0.0);
    return r;
}

namespace {

// The current into the pin at pin voltage v (each table at its own reference).
struct Buffer {
    Points drive, powerClamp, gndClamp;
    bool high = true;
    Rails rails;
    double Current(double v) const {
        double i = 0;
        if (!drive.Empty()) i += At(drive, high ? rails.pullup - v : v - rails.pulldown);
        if (!powerClamp.Empty()) i += At(powerClamp, rails.powerClamp - v);
        if (!gndClamp.Empty()) i += At(gndClamp, v - rails.gndClamp);
        return i;
    }
};

}  // namespace

std::optional<double> DcLevel(const Model& m, Corner corner, bool high, double vFixture,
                              double rFixture) {
    Buffer b;
    b.high = high;
    b.rails = RailsOf(m, corner);
    const auto table = [&](Kw key) {
        const auto t = m.iv.find(key);
        return t == m.iv.end() ? Points{} : CornerOf(t->second, corner);
    };
    b.drive = table(high ? Kw::Pullup : Kw::Pulldown);
    b.powerClamp = table(Kw::PowerClamp);
    b.gndClamp = table(Kw::GndClamp);
    if (std::isnan(vFixture) || !(rFixture > 0)) return std::nullopt;
    if (!b.drive.Empty() && std::isnan(high ? b.rails.pullup : b.rails.pulldown))
        return std::nullopt;
    if ((!b.powerClamp.Empty() && std::isnan(b.rails.powerClamp))) return std::nullopt;
    const auto g = [&](double v) { return b.Current(v) - (vFixture - v) / rFixture; };
    double lo = vFixture - 1, hi = vFixture + 1;
    for (int k = 0; k < 60 && !(g(lo) <= 0 && g(hi) >= 0); ++k) {
        lo -= hi - lo;
        hi += hi - lo;
    }
    if (!(g(lo) <= 0 && g(hi) >= 0)) return std::nullopt;
    for (int k = 0; k < 200 && hi - lo > 1e-12; ++k) {
        const double mid = 0.5 * (lo + hi);
        (g(mid) < 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

std::optional<double> CrossingTime(const Points& wave, double level) {
    for (std::size_t i = 1; i < wave.x.size(); ++i) {
        const double a = wave.y[i - 1] - level, b = wave.y[i] - level;
        if (a == 0) return wave.x[i - 1];
        if ((a < 0) != (b < 0) || b == 0)
            return wave.x[i - 1] + (wave.x[i] - wave.x[i - 1]) * a / (a - b);
    }
    return std::nullopt;
}

double RoughnessOf(const Points& p) {
    if (p.x.size() < 3) return 0;
    const auto [lo, hi] = std::minmax_element(p.y.begin(), p.y.end());
    const double span = *hi - *lo;
    if (!(span > 0)) return 0;
    double worst = 0;
    for (std::size_t i = 1; i + 1 < p.x.size(); ++i) {
        const double dx = p.x[i + 1] - p.x[i - 1];
        if (dx == 0) continue;
        const double line = p.y[i - 1] + (p.y[i + 1] - p.y[i - 1]) * (p.x[i] - p.x[i - 1]) / dx;
        worst = std::max(worst, std::fabs(p.y[i] - line));
    }
    return worst / span;
}

}  // namespace ibis::quality
