#include "data.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "keywords.h"
#include "lexer.h"

namespace ibis::quality {

namespace {

// A keyword line's identifier; none for a keyword the table does not know.
std::optional<Kw> KeyOf(const Line& l) {
    const KeywordDef* kw = FindKeyword(l.key);
    return kw == nullptr ? std::nullopt : std::optional<Kw>(kw->id);
}

double NumberOrNan(const std::string& w) {
    if (IsNa(w)) return NAN;
    return Number(w).value_or(NAN);
}

Triple TripleOf(const std::vector<std::string>& w, std::size_t from, int line) {
    Triple t;
    t.given = w.size() > from;
    t.line = line;
    for (std::size_t k = 0; k < 3 && from + k < w.size(); ++k) t.v[k] = NumberOrNan(w[from + k]);
    return t;
}

// "Name = value" or "Name value" or "Name=value": the name in lower case and
// the words after it.
std::pair<std::string, std::vector<std::string>> Subparameter(const std::string& content) {
    std::string text = content;
    const std::size_t eq = text.find('=');
    if (eq != std::string::npos) text[eq] = ' ';
    std::vector<std::string> w = Split(text);
    if (w.empty()) return {};
    std::string name = Lower(w[0]);
    w.erase(w.begin());
    return {name, w};
}

bool StartsWithNumber(const std::vector<std::string>& w) {
    return !w.empty() && Number(w[0]).has_value();
}

void AddRow(Curve& c, const std::vector<std::string>& w) {
    if (w.size() < 2) return;
    const std::optional<double> x = Number(w[0]);
    if (!x) return;
    std::array<double, 3> y = {NAN, NAN, NAN};
    for (std::size_t k = 0; k < 3 && k + 1 < w.size(); ++k) y[k] = NumberOrNan(w[k + 1]);
    c.x.push_back(*x);
    c.y.push_back(y);
}

// "0.72/157p" into dV and dt.
void RampRow(Ramp& r, const std::string& name, const std::vector<std::string>& w) {
    if (name == "r_load") {
        if (!w.empty()) r.rLoad = NumberOrNan(w[0]);
        return;
    }
    if (name != "dv/dt_r" && name != "dv/dt_f") return;
    Triple& dv = name == "dv/dt_r" ? r.dvR : r.dvF;
    Triple& dt = name == "dv/dt_r" ? r.dtR : r.dtF;
    dv.given = dt.given = true;
    for (std::size_t k = 0; k < 3 && k < w.size(); ++k) {
        const std::size_t slash = w[k].find('/');
        if (slash == std::string::npos) continue;
        dv.v[k] = NumberOrNan(w[k].substr(0, slash));
        dt.v[k] = NumberOrNan(w[k].substr(slash + 1));
    }
}

class Reader {
public:
    FileData Read(const std::string& text);

private:
    void Keyword(const Line& l);
    void Data(const Line& l);
    void ModelData(Model& m, const Line& l);
    void WaveformData(Waveform& w, const Line& l);

    FileData f_;
    std::optional<Kw> id_;  // the keyword whose lines these are
    Component* component_ = nullptr;
    Model* model_ = nullptr;
    Selector* selector_ = nullptr;
};

FileData Reader::Read(const std::string& text) {
    Lexer lexer(text);
    Line l;
    while (lexer.Next(l)) {
        const std::string lower = Lower(l.raw);
        if (lower.find("iq exception") != std::string::npos) f_.exceptionLines.push_back(l.number);
        const std::size_t score = lower.find("iq score:");
        if (score != std::string::npos && f_.claimedScore.empty()) {
            const std::vector<std::string> w = Split(l.raw.substr(score + 9));
            if (!w.empty()) f_.claimedScore = w[0];
        }
        if (l.kind == Line::Keyword) {
            if (KeyOf(l) == Kw::CommentChar && !l.words.empty()) {
                if (const std::optional<char> c = CommentCharArgument(l.words[0]))
                    lexer.SetCommentChar(*c);
            }
            Keyword(l);
            if (KeyOf(l) == Kw::End) break;
        } else if (l.kind == Line::Data) {
            Data(l);
        }
    }
    return std::move(f_);  // the reader is done with it
}

void Reader::Keyword(const Line& l) {
    id_ = KeyOf(l);
    const std::vector<std::string>& w = l.words;
    if (id_ == Kw::IbisVer && !w.empty()) {
        f_.version = ParseVersion(w[0]).value_or(f_.version);
    } else if (id_ == Kw::Component) {
        f_.components.emplace_back();
        component_ = &f_.components.back();
        component_->name = w.empty() ? "" : w[0];
        component_->line = l.number;
        model_ = nullptr;
    } else if (id_ == Kw::Model || id_ == Kw::Submodel || id_ == Kw::DefinePackageModel ||
               id_ == Kw::BeginBoardDescription || id_ == Kw::ExternalCircuit ||
               id_ == Kw::InterconnectModelSet || id_ == Kw::TestData || id_ == Kw::TestLoad) {
        component_ = nullptr;
        model_ = nullptr;
        if (id_ == Kw::Model) {
            f_.models.emplace_back();
            model_ = &f_.models.back();
            model_->name = w.empty() ? "" : w[0];
            model_->line = l.number;
        }
    } else if (id_ == Kw::ModelSelector) {
        component_ = nullptr;
        model_ = nullptr;
        selector_ = &f_.selectors[w.empty() ? "" : w[0]];
        selector_->name = w.empty() ? "" : w[0];
        selector_->line = l.number;
    } else if (component_ != nullptr) {
        if (id_ == Kw::Package) component_->hasPackage = true;
        if (id_ == Kw::PinMapping) component_->hasPinMapping = true;
        if (id_ == Kw::PackageModel || id_ == Kw::InterconnectModelGroup || id_ == Kw::CircuitCall)
            component_->hasPackageModel = true;
    } else if (model_ != nullptr) {
        Model& m = *model_;
        if (id_ == Kw::TemperatureRange) m.temperature = TripleOf(w, 0, l.number);
        if (id_ == Kw::VoltageRange) m.voltage = TripleOf(w, 0, l.number);
        if (id_ == Kw::PullupReference) m.pullupRef = TripleOf(w, 0, l.number);
        if (id_ == Kw::PulldownReference) m.pulldownRef = TripleOf(w, 0, l.number);
        if (id_ == Kw::PowerClampReference) m.powerClampRef = TripleOf(w, 0, l.number);
        if (id_ == Kw::GndClampReference) m.gndClampRef = TripleOf(w, 0, l.number);
        if (id_ == Kw::AddSubmodel) m.addSubmodel = true;
        if (id_ == Kw::DriverSchedule) m.driverSchedule = true;
        if (id_ == Kw::Ramp) {
            m.hasRamp = true;
            m.ramp.line = l.number;
        }
        if (id_ == Kw::Pullup || id_ == Kw::Pulldown || id_ == Kw::PowerClamp ||
            id_ == Kw::GndClamp || id_ == Kw::IssoPu || id_ == Kw::IssoPd)
            m.iv[*id_].line = l.number;
        if (id_ == Kw::RisingWaveform || id_ == Kw::FallingWaveform) {
            m.waveforms.emplace_back();
            m.waveforms.back().rising = id_ == Kw::RisingWaveform;
            m.waveforms.back().table.line = l.number;
        }
        if (id_ == Kw::CompositeCurrent && !m.waveforms.empty()) {
            m.waveforms.back().hasComposite = true;
            m.waveforms.back().composite.line = l.number;
        }
    }
}

void Reader::Data(const Line& l) {
    const std::vector<std::string>& w = l.words;
    if (id_ == Kw::ModelSelector && selector_ != nullptr && !w.empty()) {
        const std::size_t at = l.content.find(w[0]) + w[0].size();
        std::string description = at < l.content.size() ? l.content.substr(at) : "";
        const std::vector<std::string> words = Split(description);
        selector_->entries.emplace_back(w[0], words.empty() ? "" : description);
        return;
    }
    if (component_ != nullptr) {
        Component& c = *component_;
        if (id_ == Kw::Package) {
            const auto [name, values] = Subparameter(l.content);
            if (name == "r_pkg") c.rPkg = TripleOf(values, 0, l.number);
            if (name == "l_pkg") c.lPkg = TripleOf(values, 0, l.number);
            if (name == "c_pkg") c.cPkg = TripleOf(values, 0, l.number);
        } else if (id_ == Kw::Pin && w.size() >= 3) {
            Pin p{w[0], w[1], w[2], NAN, NAN, NAN, l.number};
            if (w.size() >= 6) {
                p.r = NumberOrNan(w[3]);
                p.l = NumberOrNan(w[4]);
                p.c = NumberOrNan(w[5]);
            }
            c.pins.push_back(std::move(p));
        } else if (id_ == Kw::DiffPin && w.size() >= 3) {
            DiffPin d;
            d.pin = w[0];
            d.inv = w[1];
            d.vdiff = NumberOrNan(w[2]);
            for (std::size_t k = 0; k < 3 && k + 3 < w.size(); ++k)
                d.tdelay[k] = NumberOrNan(w[k + 3]);
            d.line = l.number;
            c.diffPins.push_back(std::move(d));
        } else if (id_ == Kw::PinMapping && !w.empty()) {
            c.mappedPins.insert(w[0]);
        }
        return;
    }
    if (model_ != nullptr) ModelData(*model_, l);
}

void Reader::ModelData(Model& m, const Line& l) {
    const std::vector<std::string>& w = l.words;
    if (id_ == Kw::Model) {
        const auto [name, values] = Subparameter(l.content);
        if (values.empty()) return;
        static const char* kParts[] = {"c_comp_pullup", "c_comp_pulldown", "c_comp_power_clamp",
                                       "c_comp_gnd_clamp"};
        if (name == "model_type") m.type = Lower(values[0]);
        if (name == "c_comp") m.cComp = TripleOf(values, 0, l.number);
        for (int k = 0; k < 4; ++k)
            if (name == kParts[k]) m.cCompParts[k] = TripleOf(values, 0, l.number);
        if (name == "vinl") m.vinl = NumberOrNan(values[0]);
        if (name == "vinh") m.vinh = NumberOrNan(values[0]);
        if (name == "vmeas") m.vmeas = NumberOrNan(values[0]);
        if (name == "vref") m.vref = NumberOrNan(values[0]);
    } else if (id_ && m.iv.count(*id_) != 0) {
        AddRow(m.iv[*id_], w);
    } else if ((id_ == Kw::RisingWaveform || id_ == Kw::FallingWaveform) && !m.waveforms.empty()) {
        WaveformData(m.waveforms.back(), l);
    } else if (id_ == Kw::CompositeCurrent && !m.waveforms.empty()) {
        AddRow(m.waveforms.back().composite, w);
    } else if (id_ == Kw::Ramp) {
        const auto [name, values] = Subparameter(l.content);
        RampRow(m.ramp, name, values);
    }
}

void Reader::WaveformData(Waveform& wave, const Line& l) {
    if (StartsWithNumber(l.words)) {
        AddRow(wave.table, l.words);
        return;
    }
    const auto [name, values] = Subparameter(l.content);
    if (values.empty()) return;
    const double v = NumberOrNan(values[0]);
    if (name == "r_fixture") wave.rFixture = v;
    if (name == "r_dut") wave.rDut = std::isnan(v) ? 0 : v;
    if (name == "v_fixture") wave.vFixture[kTyp] = v;
    if (name == "v_fixture_min") wave.vFixture[kMin] = v;
    if (name == "v_fixture_max") wave.vFixture[kMax] = v;
}

// The names of `items` with their indexes, in name order, equal names in
// file order (the names copied side by side: sorting them reads no item).
template <class Items>
std::vector<std::pair<std::string, std::size_t>> ByName(const Items& items) {
    std::vector<std::pair<std::string, std::size_t>> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) order.emplace_back(items[i].name, i);
    std::sort(order.begin(), order.end());
    return order;
}

template <class Items>
const typename Items::value_type* Lookup(
    const Items& items, const std::vector<std::pair<std::string, std::size_t>>& byName,
    const std::string& name) {
    const auto at = std::lower_bound(byName.begin(), byName.end(), name,
                                     [](const std::pair<std::string, std::size_t>& e,
                                        const std::string& n) { return e.first < n; });
    return at != byName.end() && at->first == name ? &items[at->second] : nullptr;
}

}  // namespace

FileData ReadFileData(const std::string& text) {
    FileData f = Reader().Read(text);
    f.modelsByName = ByName(f.models);
    for (Component& c : f.components) c.pinsByName = ByName(c.pins);
    return f;
}

const Model* FindModel(const FileData& f, const std::string& name) {
    return Lookup(f.models, f.modelsByName, name);
}

const Pin* FindPin(const Component& c, const std::string& name) {
    return Lookup(c.pins, c.pinsByName, name);
}

}  // namespace ibis::quality
