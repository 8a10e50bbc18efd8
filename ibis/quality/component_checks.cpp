// Sections 3 and 4: the component's package, pins, differential pairs, pin
// mapping and model selectors.
#include <cmath>

#include "checks.h"
#include "lexer.h"

namespace ibis::quality {

namespace {

bool Rail(const std::string& model) {
    const std::string u = Upper(model);
    return u == "POWER" || u == "GND" || u == "NC";
}

// The model a pin's model name stands for (a selector's first, its default).
const Model* PinModel(const FileData& f, const std::string& name) {
    if (const Model* m = FindModel(f, name)) return m;
    const auto sel = f.selectors.find(name);
    if (sel == f.selectors.end() || sel->second.entries.empty()) return nullptr;
    return FindModel(f, sel->second.entries.front().first);
}

void PackageChecks(const Component& c, Sink& s) {
    if (!c.hasPackage) {
        s.Add("3.1.1", c.name, "", false, "no [Package]");
        s.Add("3.1.2", c.name, "", false, "no [Package]");
        return;
    }
    struct Value {
        const char* name;
        const Triple& t;
        double limit;
        const char* unit;
        double scale;
    };
    const Value values[] = {{"R_pkg", c.rPkg, 10, "ohm", 1},
                            {"L_pkg", c.lPkg, 100e-9, "nH", 1e9},
                            {"C_pkg", c.cPkg, 100e-12, "pF", 1e12}};
    std::string missing, wrong;
    for (const Value& v : values) {
        const auto& x = v.t.v;
        if (std::isnan(x[0]) || std::isnan(x[1]) || std::isnan(x[2])) {
            missing +=
                std::string(missing.empty() ? "" : "; ") + v.name + " has no typ, min and max";
            continue;
        }
        const std::string text = Num(x[0] * v.scale) + " " + Num(x[1] * v.scale) + " " +
                                 Num(x[2] * v.scale) + " " + v.unit;
        if (!(x[1] < x[0] && x[0] < x[2]))
            wrong += std::string(wrong.empty() ? "" : "; ") + v.name + " " + text +
                     " is not min < typ < max";
        for (double y : x)
            if (!(y < v.limit)) {
                wrong += std::string(wrong.empty() ? "" : "; ") + v.name + " " + text +
                         " reaches " + Num(v.limit * v.scale) + " " + v.unit;
                break;
            }
    }
    s.Add("3.1.1", c.name, "", missing.empty(),
          missing.empty() ? "R_pkg, L_pkg and C_pkg have typ, min and max" : missing);
    // Every signal pin's own values lie within the [Package] range.
    for (const Pin& p : c.pins) {
        const double pinValues[] = {p.r, p.l, p.c};
        for (int k = 0; k < 3 && wrong.empty(); ++k) {
            const Triple& t = values[k].t;
            const double y = pinValues[k];
            if (std::isnan(y) || Rail(p.model) || std::isnan(t.v[1]) || std::isnan(t.v[2]))
                continue;
            if (y < t.v[1] || y > t.v[2])
                wrong = "pin " + p.name + " " + values[k].name + " " + Num(y * values[k].scale) +
                        " " + values[k].unit + " outside [Package] " +
                        Num(t.v[1] * values[k].scale) + " to " + Num(t.v[2] * values[k].scale);
        }
    }
    s.Add("3.1.2", c.name, "", wrong.empty() && missing.empty(),
          !wrong.empty()    ? wrong
          : missing.empty() ? "R < 10 ohm, L < 100 nH, C < 100 pF, min < typ < max"
                            : "min and max missing");
}

void PinChecks(const FileData& f, const Component& c, Sink& s) {
    std::string unknown;
    int signals = 0;
    std::string noRlc, unreasonable;
    for (const Pin& p : c.pins) {
        if (Rail(p.model)) continue;
        ++signals;
        if (PinModel(f, p.model) == nullptr && unknown.empty())
            unknown = "pin " + p.name + " names no [Model] or [Model Selector] '" + p.model + "'";
        const bool rlc = !std::isnan(p.r) && !std::isnan(p.l) && !std::isnan(p.c);
        if (!rlc && !c.hasPackageModel && noRlc.empty())
            noRlc = "pin " + p.name + " has no R_pin, L_pin and C_pin and no [Package Model]";
        if (!std::isnan(p.l) && !std::isnan(p.c) && p.c > 0 && unreasonable.empty()) {
            const double td = std::sqrt(p.l * p.c), z0 = std::sqrt(p.l / p.c);
            if (!(td < 300e-12) || !(z0 < 100))
                unreasonable = "pin " + p.name + ": sqrt(LC) " + Num(td * 1e12) +
                               " ps (limit 300), sqrt(L/C) " + Num(z0) + " ohm (limit 100)";
        }
    }
    s.Add("3.2.1", c.name, "", unknown.empty() && !c.pins.empty(),
          c.pins.empty() ? "no [Pin] rows"
          : unknown.empty()
              ? std::to_string(c.pins.size()) + " pins, each with a model, POWER, GND or NC"
              : unknown);
    const bool ok = noRlc.empty() && unreasonable.empty();
    s.Add("3.2.2", c.name, "", ok,
          ok ? std::to_string(signals) + " signal pins: sqrt(LC) < 300 ps, sqrt(L/C) < 100 ohm"
             : (noRlc.empty() ? unreasonable : noRlc));
}

void DiffPinChecks(const FileData& f, const Component& c, Sink& s) {
    if (c.diffPins.empty()) return;
    std::string differ, incomplete;
    for (const DiffPin& d : c.diffPins) {
        const Pin* a = FindPin(c, d.pin);
        const Pin* b = FindPin(c, d.inv);
        if (a == nullptr || b == nullptr) continue;
        if (a->model != b->model && differ.empty())
            differ = "pins " + d.pin + " (" + a->model + ") and " + d.inv + " (" + b->model + ")";
        const Model* m = PinModel(f, a->model);
        if (m == nullptr || !incomplete.empty()) continue;
        const bool in = Receives(m->type), out = Drives(m->type);
        const bool tdelay =
            !std::isnan(d.tdelay[0]) && !std::isnan(d.tdelay[1]) && !std::isnan(d.tdelay[2]);
        const bool noTdelay =
            std::isnan(d.tdelay[0]) && std::isnan(d.tdelay[1]) && std::isnan(d.tdelay[2]);
        const std::string at = "[Diff Pin] " + d.pin + " (" + m->type + "): ";
        if (in && !(d.vdiff > 0))
            incomplete = at + "Vdiff must be defined and positive";
        else if (out && !tdelay)
            incomplete = at + "Tdelay typ, min and max must be defined";
        else if (!in && out && !std::isnan(d.vdiff))
            incomplete = at + "an output's Vdiff is NA";
        else if (in && !out && !noTdelay)
            incomplete = at + "an input's Tdelay is NA";
    }
    s.Add("3.3.1", c.name, "", differ.empty(),
          differ.empty() ? "both pins of every pair use one model" : differ + " differ");
    s.Add("3.3.2", c.name, "", incomplete.empty(),
          incomplete.empty() ? "Vdiff and Tdelay as the pins' types need" : incomplete);
}

void PinMappingChecks(const FileData& f, const Component& c, Sink& s) {
    std::string signalMissing, railMissing;
    for (const Pin& p : c.pins) {
        const bool rail = Rail(p.model);
        const bool mapped = c.mappedPins.count(p.name) > 0;
        if (!rail && !mapped && signalMissing.empty()) signalMissing = p.name;
        if (rail && !IsNc(p.model) && !mapped && railMissing.empty()) railMissing = p.name;
    }
    if (!c.hasPinMapping) {
        s.Add("3.4.1", c.name, "", false, "no [Pin Mapping]");
    } else {
        s.Add("3.4.1", c.name, "", signalMissing.empty(),
              signalMissing.empty() ? "every signal pin mapped"
                                    : "pin " + signalMissing + " is not in [Pin Mapping]");
    }
    if (f.version >= 70) {
        s.Add("3.4.2", c.name, "", true,
              "[IBIS Ver] 7.0 or later: an unmapped power or ground pin's bus is its signal name");
    } else {
        s.Add("3.4.2", c.name, "", c.hasPinMapping && railMissing.empty(),
              !c.hasPinMapping      ? "no [Pin Mapping]"
              : railMissing.empty() ? "every power and ground pin mapped"
                                    : "power or ground pin " + railMissing + " is not mapped");
    }
}

}  // namespace

void ComponentChecks(const FileData& f, const Component& c, Sink& s) {
    PackageChecks(c, s);
    PinChecks(f, c, s);
    DiffPinChecks(f, c, s);
    PinMappingChecks(f, c, s);
}

void SelectorChecks(const FileData& f, Sink& s) {
    for (const auto& [name, sel] : f.selectors) {
        std::string bare;
        for (const auto& [model, description] : sel.entries)
            if (description.empty() && bare.empty()) bare = model;
        s.Add("4.1", "", name, bare.empty() && !sel.entries.empty(),
              sel.entries.empty() ? "no entries"
              : bare.empty() ? std::to_string(sel.entries.size()) + " entries with descriptions"
                             : "entry " + bare + " has no description");
    }
}

}  // namespace ibis::quality
