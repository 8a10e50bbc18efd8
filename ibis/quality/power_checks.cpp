// Sections 5.7 and 5.8: the ISSO tables and the [Composite Current] tables.
#include <algorithm>
#include <cmath>

#include "checks.h"
#include "curves.h"

namespace ibis::quality {

namespace {

const Curve* TableOf(const Model& m, Kw key) {
    const auto t = m.iv.find(key);
    return t == m.iv.end() ? nullptr : &t->second;
}

// Isso_pd(0) = Ipd(Vcc), Isso_pu(0) = Ipu(Vcc), both 0 at Vcc.
void IssoPresentCheck(const Model& m, double vcc, Sink& s) {
    std::string wrong;
    for (const auto& [isso, drive] :
         {std::pair<Kw, Kw>{Kw::IssoPd, Kw::Pulldown}, {Kw::IssoPu, Kw::Pullup}}) {
        const Curve* d = TableOf(m, drive);
        if (d == nullptr) continue;
        const Curve* i = TableOf(m, isso);
        if (i == nullptr) {
            if (wrong.empty())
                wrong = std::string("no [") + (isso == Kw::IssoPd ? "ISSO PD" : "ISSO PU") + "]";
            continue;
        }
        const Points ip = CornerOf(*i, kTyp), dp = CornerOf(*d, kTyp);
        if (ip.Empty() || dp.Empty() || std::isnan(vcc)) continue;
        const double want = At(dp, vcc), tol = 0.05 * std::fabs(want) + 1e-6;
        const double at0 = At(ip, 0), atVcc = At(ip, vcc);
        if ((std::fabs(at0 - want) > tol || std::fabs(atVcc) > tol) && wrong.empty())
            wrong = std::string(isso == Kw::IssoPd ? "[ISSO PD]" : "[ISSO PU]") + " is " +
                    Num(at0) + " A at 0 V and " + Num(atVcc) + " A at Vcc; the " +
                    KeywordOf(drive).name + " gives " + Num(want) + " A at Vcc";
    }
    s.Add("5.7.1", "", m.name, wrong.empty(),
          wrong.empty() ? "ISSO at 0 V equals the driver at Vcc, 0 A at Vcc (within 5 %)" : wrong);
}

void IssoTableChecks(const Model& m, double vcc, Sink& s) {
    std::string order, sparse, range;
    for (Kw key : {Kw::IssoPd, Kw::IssoPu}) {
        const Curve* t = TableOf(m, key);
        if (t == nullptr) continue;
        const std::string name = key == Kw::IssoPd ? "[ISSO PD]" : "[ISSO PU]";
        int out = 0, compared = 0;
        for (const auto& y : t->y) {
            if (std::isnan(y[0] + y[1] + y[2])) continue;
            ++compared;
            if (std::fabs(y[1]) > std::fabs(y[0]) * 1.02 + 1e-9 ||
                std::fabs(y[0]) > std::fabs(y[2]) * 1.02 + 1e-9)
                ++out;
        }
        if (compared > 0 && 4 * out > compared && order.empty())
            order = name + ": " + std::to_string(out) + " of " + std::to_string(compared) +
                    " rows not |min| <= |typ| <= |max|";
        for (int c = 0; c < 3 && sparse.empty(); ++c) {
            const double rough = RoughnessOf(CornerOf(*t, static_cast<Corner>(c)));
            if (t->x.size() < 10 || rough > kRoughLimit)
                sparse = name + " " + kCornerName[c] + ": " + std::to_string(t->x.size()) +
                         " points, a point " + Num(100 * rough) +
                         " % of the span off its neighbours' line";
        }
        if (t->x.empty() || std::isnan(vcc) || !range.empty()) continue;
        const auto lo = std::min_element(t->x.begin(), t->x.end()) - t->x.begin();
        const double top = *std::max_element(t->x.begin(), t->x.end());
        const double slack = 0.01 * std::fabs(vcc);
        const bool zeroAtLow = std::fabs(t->y[lo][0]) <= 1e-6;
        if (top < vcc - slack || (t->x[lo] > -vcc + slack && !zeroAtLow))
            range = name + " spans " + Num(t->x[lo]) + " to " + Num(top) +
                    " V; needs -Vcc to Vcc (" + Num(vcc) + " V), or down to where it reaches 0 A";
    }
    if (!TableOf(m, Kw::IssoPd) && !TableOf(m, Kw::IssoPu)) return;
    s.Add("5.7.2", "", m.name, order.empty(),
          order.empty() ? "|min| <= |typ| <= |max| in three rows of four or more" : order);
    s.Add("5.7.3", "", m.name, sparse.empty(),
          sparse.empty() ? "10 points or more, no point off its neighbours' line by 5 % of the span"
                         : sparse);
    s.Add("5.7.4", "", m.name, range.empty(), range.empty() ? "spans -Vcc to Vcc" : range);
}

std::string CompositeName(const Waveform& w) {
    return "[Composite Current] of the " + std::string(w.rising ? "rising" : "falling") +
           " waveform of line " + std::to_string(w.table.line);
}

void CompositeChecks(const Model& m, Sink& s) {
    std::string missing, cover, aligned, flat, zero;
    for (const Waveform& w : m.waveforms) {
        if (!w.hasComposite || w.composite.Empty()) {
            if (missing.empty())
                missing = "the waveform of line " + std::to_string(w.table.line) + " has none";
            continue;
        }
        const Points v = CornerOf(w.table, kTyp);
        const Curve& cc = w.composite;
        if (v.Empty()) continue;
        const double span = v.x.back() - v.x.front(), tol = 1e-3 * span + 1e-15;
        if ((std::fabs(cc.x.front() - v.x.front()) > tol ||
             std::fabs(cc.x.back() - v.x.back()) > tol) &&
            cover.empty())
            cover = CompositeName(w) + " runs " + Num(cc.x.front()) + " to " + Num(cc.x.back()) +
                    " s, its waveform " + Num(v.x.front()) + " to " + Num(v.x.back()) + " s";
        const Points i = CornerOf(cc, kTyp);
        if (i.Empty()) continue;
        // The peak lies on the edge (2 % to 98 % of the swing, widened by half its
        // width each side, where a pre-driver may draw first).
        const double a = v.y.front(), b = v.y.back();
        const auto t2 = CrossingTime(v, a + 0.02 * (b - a)),
                   t98 = CrossingTime(v, a + 0.98 * (b - a));
        // "the maximum current value in a column (typ, min, max) is at a time point
        // near the middle of the transition": the largest excess over the straight
        // line from the first value to the last (the switching current on top of
        // the load's), first reached within 1 % of the column's span.
        const std::size_t n = i.y.size();
        const auto [low, high] = std::minmax_element(i.y.begin(), i.y.end());
        std::vector<double> excess(n);
        for (std::size_t k = 0; k < n; ++k)
            excess[k] =
                i.y[k] - (i.y.front() + (i.y.back() - i.y.front()) * (i.x[k] - i.x.front()) /
                                            std::max(i.x.back() - i.x.front(), 1e-30));
        const double most = *std::max_element(excess.begin(), excess.end());
        std::size_t peak = 0;
        while (peak + 1 < n && excess[peak] < most - 0.01 * (*high - *low)) ++peak;
        const bool bump = most > 0.01 * (*high - *low);
        if (bump && t2 && t98 && aligned.empty()) {
            const double width = *t98 - *t2;
            if (i.x[peak] < *t2 - 0.5 * width || i.x[peak] > *t98 + 0.5 * width)
                aligned = CompositeName(w) + " peaks at " + Num(i.x[peak]) + " s; the edge runs " +
                          Num(*t2) + " to " + Num(*t98) + " s";
        }
        const double iSpan = *high - *low;
        if (n >= 2 && iSpan > 0 && flat.empty() &&
            (std::fabs(i.y[1] - i.y[0]) > 0.01 * iSpan ||
             std::fabs(i.y[n - 1] - i.y[n - 2]) > 0.01 * iSpan))
            flat = CompositeName(w) + " moves " + Num(i.y[1] - i.y[0]) +
                   " A in its first step and " + Num(i.y[n - 1] - i.y[n - 2]) +
                   " A in its last (span " + Num(iSpan) + " A)";
        const double peakAbs = std::max(std::fabs(*low), std::fabs(*high));
        const double ends = w.rising ? i.y.front() : i.y.back();
        if (w.vFixture[kTyp] == 0 && std::fabs(ends) > 1e-3 * peakAbs && zero.empty())
            zero = CompositeName(w) + " (V_fixture 0) " + (w.rising ? "starts" : "ends") + " at " +
                   Num(ends) + " A (peak " + Num(peakAbs) + " A)";
    }
    s.Add("5.8.1", "", m.name, missing.empty(),
          missing.empty() ? "every waveform has one" : missing);
    bool any = false;
    for (const Waveform& w : m.waveforms) any = any || w.hasComposite;
    if (!any) return;
    s.Add("5.8.2", "", m.name, cover.empty(), cover.empty() ? "same first and last times" : cover);
    s.Add("5.8.3", "", m.name, aligned.empty(),
          aligned.empty() ? "each peaks on its waveform's edge" : aligned);
    s.Add("5.8.7", "", m.name, flat.empty(),
          flat.empty() ? "first and last steps under 1 % of the span" : flat);
    s.Add("5.8.8", "", m.name, zero.empty(),
          zero.empty() ? "0 A (within 0.1 % of the peak) where V_fixture is 0" : zero);
}

}  // namespace

void PowerChecks(const Model& m, Sink& s) {
    if (!Drives(m.type)) return;
    const double vcc = RailsOf(m, kTyp).pullup;
    IssoPresentCheck(m, vcc, s);
    IssoTableChecks(m, vcc, s);
    if (!m.waveforms.empty()) CompositeChecks(m, s);
}

}  // namespace ibis::quality
