#include "quality.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "checks.h"

namespace ibis {

namespace quality {

namespace {

constexpr const char* kSheet = "the component's data sheet";
constexpr const char* kReview = "a reviewer's judgement";

// clang-format off
const IqDef kIq[] = {
    {"2.1", 1, "IBIS file passes the checker", nullptr},
    {"3.1.1", 2, "[Package] has typ/min/max values", nullptr},
    {"3.1.2", 2, "[Package] values are reasonable", nullptr},
    {"3.1.3", 4, "package model includes power and ground pins", kReview},
    {"3.1.4", 4, "on-die and on-package decoupling included", kReview},
    {"3.2.1", 2, "[Pin] section complete", nullptr},
    {"3.2.2", 3, "[Pin] RLC values present and reasonable", nullptr},
    {"3.3.1", 2, "[Diff Pin] pins use the same model", nullptr},
    {"3.3.2", 3, "[Diff Pin] Vdiff and Tdelay complete and reasonable", nullptr},
    {"3.4.1", 4, "[Pin Mapping] included for each component", nullptr},
    {"3.4.2", 4, "[Pin Mapping] includes power and ground pins", nullptr},
    {"3.4.3", 4, "[Merged Pins] given where pins are merged", kReview},
    {"4.1", 2, "[Model Selector] entries have descriptions", nullptr},
    {"4.2", 2, "default [Model Selector] entries consistent", kReview},
    {"5.1.1", 2, "[Model] typ/min/max order", nullptr},
    {"5.1.2", 2, "C_comp reasonable", nullptr},
    {"5.1.3", 2, "[Temperature Range] present", nullptr},
    {"5.1.4", 2, "[Voltage Range] or references reasonable", nullptr},
    {"5.2.1", 3, "[Model] Vinl and Vinh reasonable", nullptr},
    {"5.2.2", 3, "[Model Spec] Vinl and Vinh reasonable", kSheet},
    {"5.2.3", 3, "[Model Spec] Vinl+/- and Vinh+/- complete", kSheet},
    {"5.2.4", 0, "[Model Spec] pulse subparameters complete", kSheet},
    {"5.2.5", 2, "S_Overshoot complete and matching the data sheet", kSheet},
    {"5.2.6", 2, "S_Overshoot tracks typ/min/max", kSheet},
    {"5.2.7", 2, "D_Overshoot complete and matching the data sheet", kSheet},
    {"5.2.8", 2, "D_Overshoot tracks typ/min/max", kSheet},
    {"5.2.9", 3, "[Receiver Thresholds] Vth", kSheet},
    {"5.2.10", 3, "[Receiver Thresholds] Vth_min and Vth_max", kSheet},
    {"5.2.11", 3, "[Receiver Thresholds] Vinh_ac and Vinl_ac", kSheet},
    {"5.2.12", 3, "[Receiver Thresholds] Vinh_dc and Vinl_dc", kSheet},
    {"5.2.13", 3, "[Receiver Thresholds] Tslew_ac and Tdiffslew_ac", kSheet},
    {"5.2.14", 3, "[Receiver Thresholds] Threshold_sensitivity and Ext_ref", kSheet},
    {"5.3.1", 2, "I-V tables in typ/min/max order", nullptr},
    {"5.3.2", 2, "[Pullup] sweep range", nullptr},
    {"5.3.3", 2, "[Pulldown] sweep range", nullptr},
    {"5.3.4", 2, "[POWER Clamp] sweep range", nullptr},
    {"5.3.5", 2, "[GND Clamp] sweep range", nullptr},
    {"5.3.6", 2, "I-V tables without stair-stepping", nullptr},
    {"5.3.7", 2, "combined I-V tables monotonic", nullptr},
    {"5.3.8", 2, "[Pulldown] passes through zero", nullptr},
    {"5.3.9", 2, "[Pullup] passes through zero", nullptr},
    {"5.3.10", 2, "no leakage in clamp tables", nullptr},
    {"5.3.11", 2, "I-V behaviour not double-counted", kReview},
    {"5.3.12", 2, "on-die termination documented", kReview},
    {"5.3.13", 2, "ECL I-V tables swept over the supply range", nullptr},
    {"5.3.14", 2, "I-V point distribution sufficient", nullptr},
    {"5.4.1", 2, "output buffers have enough V-T tables", nullptr},
    {"5.4.2", 2, "V-T point distribution reasonable", nullptr},
    {"5.4.3", 3, "V-T duration not excessive", "the highest data rate of the data sheet"},
    {"5.4.4", 2, "V-T endpoints match the fixture", nullptr},
    {"5.5.1", 2, "[Ramp] R_load given when not 50 ohms", "the ramp's measurement conditions"},
    {"5.5.2", 2, "[Ramp] typ/min/max order", nullptr},
    {"5.5.3", 2, "[Ramp] dV matches the I-V tables", nullptr},
    {"5.5.4", 2, "[Ramp] dt matches the waveforms' 20-80% time", nullptr},
    {"5.6.1", 3, "[Model Spec] Vmeas and Vref track typ/min/max", kSheet},
    {"5.6.2", 3, "Vref consistent for open and ECL types", nullptr},
    {"5.7.1", 4, "output models have ISSO tables matching the I-V tables", nullptr},
    {"5.7.2", 4, "ISSO tables in typ/min/max order", nullptr},
    {"5.7.3", 4, "ISSO point distribution sufficient", nullptr},
    {"5.7.4", 4, "ISSO sweep range", nullptr},
    {"5.8.1", 4, "each waveform has a [Composite Current]", nullptr},
    {"5.8.2", 4, "[Composite Current] covers its waveform's time", nullptr},
    {"5.8.3", 4, "[Composite Current] aligned with its waveform", nullptr},
    {"5.8.4", 4, "[Composite Current] includes the pre-driver", kReview},
    {"5.8.5", 4, "[Composite Current] ends match the I-V tables", "the rails the current was measured on"},
    {"5.8.6", 4, "[Composite Current] from the right rails", "how the data was extracted"},
    {"5.8.7", 4, "[Composite Current] flat at start and end", nullptr},
    {"5.8.8", 4, "[Composite Current] zero where V_fixture is 0", nullptr},
};
// clang-format on

}  // namespace

const IqDef* FindIq(const std::string& iq) {
    for (const IqDef& d : kIq)
        if (iq == d.iq) return &d;
    return nullptr;
}
const IqDef* IqBegin() { return std::begin(kIq); }
const IqDef* IqEnd() { return std::end(kIq); }

void Sink::Add(const char* iq, const std::string& component, const std::string& model, bool pass,
               std::string detail) {
    const IqDef* d = FindIq(iq);
    checks.push_back({iq, d->level, d->title, component, model,
                      pass ? IqStatus::Pass : IqStatus::Fail, std::move(detail)});
}

void Sink::NotChecked(const IqDef& d, const std::string& component, const std::string& model,
                      std::string why) {
    checks.push_back(
        {d.iq, d.level, d.title, component, model, IqStatus::NotChecked, std::move(why)});
}

std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.4g", v);
    return b;
}

bool OpenDrain(const std::string& t) {
    return t == "open_drain" || t == "open_sink" || t == "i/o_open_drain" || t == "i/o_open_sink";
}
bool OpenSource(const std::string& t) { return t == "open_source" || t == "i/o_open_source"; }
bool Ecl(const std::string& t) { return t.find("ecl") != std::string::npos; }
bool Drives(const std::string& t) {
    return t == "output" || t == "i/o" || t == "3-state" || t == "output_diff" || t == "i/o_diff" ||
           t == "3-state_diff" || OpenDrain(t) || OpenSource(t) || (Ecl(t) && t != "input_ecl");
}
bool Receives(const std::string& t) { return t.rfind("input", 0) == 0 || t.rfind("i/o", 0) == 0; }

}  // namespace quality

const char* IqStatusName(IqStatus s) {
    switch (s) {
        case IqStatus::Pass:
            return "PASS";
        case IqStatus::Fail:
            return "FAIL";
        case IqStatus::NotChecked:
            break;
    }
    return "NOT_CHECKED";
}

std::string IqResult::Score() const {
    return "IQ" + std::to_string(level) + (exceptions ? "X" : "");
}

IqResult CheckQuality(const std::string& text, const FileResult& conformance) {
    using namespace quality;
    const FileData f = ReadFileData(text);
    Sink s;
    const int errors = conformance.counts[0], warnings = conformance.counts[1];
    s.Add("2.1", "", "", errors == 0,
          std::to_string(errors) + " error(s), " + std::to_string(warnings) + " warning(s)");
    for (const Component& c : f.components) ComponentChecks(f, c, s);
    SelectorChecks(f, s);
    for (const Model& m : f.models) {
        ModelGeneralChecks(m, s);
        IvChecks(m, s);
        WaveformChecks(m, s);
        RampChecks(m, s);
        PowerChecks(m, s);
    }
    for (const IqDef* d = IqBegin(); d != IqEnd(); ++d)
        if (d->needs != nullptr) s.NotChecked(*d, "", "", std::string("needs ") + d->needs);
    IqResult r;
    r.checks = std::move(s.checks);
    r.level = 4;
    for (const IqCheck& c : r.checks)
        if (c.status == IqStatus::Fail && c.level >= 1) r.level = std::min(r.level, c.level - 1);
    r.exceptions = !f.exceptionLines.empty() || warnings > 0;
    r.claimed = f.claimedScore;
    return r;
}

}  // namespace ibis
