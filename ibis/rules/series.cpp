#include "series.h"

#include <map>
#include <set>

#include "lexer.h"

namespace ibis {

namespace {

bool ValueOnKeywordLine(Kw id) {
    return id == Kw::RSeries || id == Kw::LSeries || id == Kw::RlSeries || id == Kw::CSeries ||
           id == Kw::LcSeries || id == Kw::RcSeries;
}

}  // namespace

void SeriesRules::Keyword(const KeywordLine& k) {
    if (k.id == Kw::SeriesSwitchGroups) {
        if (!components_.Components().empty())
            groups_.push_back({components_.Components().size() - 1, {}, k.line, true});
        return;
    }
    if (c_.scope != Scope::Model || models_.Models().empty()) return;
    const std::size_t model = models_.Models().size() - 1;
    if (model != model_) state_ = kNone;
    model_ = model;
    Series& s = series_[model];
    if (k.id == Kw::On || k.id == Kw::Off) {
        state_ = k.id == Kw::On ? kOn : kOff;
        int& stateLine = k.id == Kw::On ? s.onLine : s.offLine;
        if (stateLine != 0)
            c_.Add(Message::SeriesSwitchStates, k.line,
                   "[" + k.name + "] appears twice in [Model] " + models_.Models().back().name);
        stateLine = k.line;
        return;
    }
    s.elements.push_back({k.id, k.name, k.line, state_});
    tableRows_ = 0;
    if (k.id == Kw::SeriesMosfet) mosfets_.push_back({k.line, false});
    if (ValueOnKeywordLine(k.id)) ElementValues(k);
}

// "[R Series] typ min max": typ a number, min and max numbers or NA.
void SeriesRules::ElementValues(const KeywordLine& k) {
    if (k.words.size() < 3) {
        c_.Add(Message::MissingValue, k.line, "[" + k.name + "] needs typ, min and max values");
        if (k.words.empty()) return;
    }
    c_.TooManyValues([&] { return std::string("[" + k.name + "] (typ, min and max)"); },
                     k.words.size(), 3, k.line);
    if (IsNa(k.words[0])) c_.Add(Message::TypicalNa, k.line, "the typical [" + k.name + "] is NA");
    for (std::size_t i = 0; i < k.words.size() && i < 3; ++i) {
        double v = 0;
        c_.NumberOrNa(k.words[i], k.line, true, &v);
        if (v < 0)
            c_.Add(Message::NegativeValue, k.line,
                   "[" + k.name + "] " + k.words[i] + " is below zero");
    }
}

void SeriesRules::Data(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    if (d.id == Kw::SeriesSwitchGroups) {
        if (groups_.empty()) return;
        for (std::string word : w) {
            const bool ends = word.size() > 1 && word.back() == '/';
            if (ends) word.pop_back();
            if (groups_.back().closed) {
                groups_.push_back({groups_.back().component, {}, d.line, false});
            }
            GroupState& g = groups_.back();
            if (word == "/" || ends) {
                if (!ends) {
                    g.closed = true;
                    continue;
                }
                g.words.push_back(word);
                g.closed = true;
                continue;
            }
            g.words.push_back(word);
        }
        return;
    }
    if (d.id == Kw::SeriesMosfet && !mosfets_.empty()) {
        if (Lower(w[0]).rfind("vds", 0) == 0) {
            mosfets_.back().vds = true;
            // "Vds = 1.0", "Vds=1.0" or "Vds =1.0": the value after '='.
            std::string joined;
            for (const std::string& word : w) joined += word;
            const std::size_t eq = joined.find('=');
            if (eq == std::string::npos || eq + 1 == joined.size())
                c_.Add(Message::MissingValue, d.line, "Vds needs '= value'");
            else
                c_.NumberOrNa(joined.substr(eq + 1), d.line, false);
        } else if (w.size() != 4) {
            CountTableRow(d);
            c_.Add(Message::SeriesMosfet, d.line,
                   "a [Series MOSFET] row needs voltage, typ, min and max");
        } else {
            CountTableRow(d);
            for (std::size_t i = 0; i < 4; ++i) c_.NumberOrNa(w[i], d.line, i > 1);
        }
    } else if (d.id == Kw::SeriesCurrent) {
        CountTableRow(d);
        if (w.size() != 4)
            c_.Add(Message::TableRowColumns, d.line,
                   "a [Series Current] row needs voltage, typ, min and max");
        else
            for (std::size_t i = 0; i < 4; ++i) c_.NumberOrNa(w[i], d.line, i > 1);
    }
}

// Series I-V tables hold 100 points at most, as every I-V table does.
void SeriesRules::CountTableRow(const DataLine& d) {
    if (++tableRows_ == 101)
        c_.Add(Message::TableTooLong, d.line,
               std::string(d.id == Kw::SeriesCurrent ? "[Series Current]" : "[Series MOSFET]") +
                   " goes on past 100 points; an I-V table holds 100 at most");
}

void SeriesRules::CheckModel(const ModelInfo& m, const Series& s) {
    const std::string type = Lower(m.type);
    const bool series = type == "series", sw = type == "series_switch";
    if (!series && !sw && !s.elements.empty())
        c_.Add(Message::SeriesElementModelType, s.elements.front().line,
               "[" + s.elements.front().name +
                   "] is for Series and Series_switch models; [Model] " + m.name + " is " +
                   (m.type.empty() ? "without a Model_type" : m.type));
    if (!sw && (s.onLine || s.offLine))
        c_.Add(Message::SeriesSwitchStates, s.onLine ? s.onLine : s.offLine,
               "[On] and [Off] are for Series_switch models; [Model] " + m.name + " is " +
                   (m.type.empty() ? "without a Model_type" : m.type));
    if (sw && (!s.onLine || !s.offLine))
        c_.Add(Message::SeriesSwitchStates, m.line,
               "Series_switch [Model] " + m.name + " needs both [On] and [Off]");
    if (series && s.elements.empty())
        c_.Add(Message::SeriesModelEmpty, m.line,
               "Series [Model] " + m.name + " has no series element");
    for (State st : {kNone, kOn, kOff}) {
        std::set<Kw> here;
        int count = 0;
        for (const Element& e : s.elements)
            if (e.state == st) {
                here.insert(e.id);
                ++count;
                if (sw && st == kNone)
                    c_.Add(
                        Message::SeriesSwitchStates, e.line,
                        "[" + e.name + "] of a Series_switch model stands outside [On] and [Off]");
                if (e.id == Kw::SeriesMosfet && st != kOn && (series || sw))
                    c_.Add(Message::SeriesMosfet, e.line, "[Series MOSFET] belongs under [On]");
            }
        const int stateLine = st == kOn ? s.onLine : st == kOff ? s.offLine : 0;
        if (sw && stateLine && count == 0)
            c_.Add(Message::SeriesModelEmpty, stateLine,
                   std::string(st == kOn ? "[On]" : "[Off]") + " holds no series element");
        const auto needs = [&](Kw id, Kw partnerId, const char* partner) {
            for (const Element& e : s.elements)
                if (e.state == st && e.id == id && !here.count(partnerId))
                    c_.Add(
                        Message::SeriesElementModelType, e.line,
                        "[" + e.name + "] is in series with [" + partner + "], which is missing");
        };
        needs(Kw::RlSeries, Kw::LSeries, "L Series");
        needs(Kw::RcSeries, Kw::CSeries, "C Series");
        needs(Kw::LcSeries, Kw::CSeries, "C Series");
    }
}

void SeriesRules::CheckGroups() {
    const std::deque<ComponentInfo>& components = components_.Components();
    // BIRD 83.2 (IBIS 4.1) "requires use of [Series Switch Groups] if
    // \"function_table_group\" is present".
    std::set<std::size_t> withKeyword;
    for (const GroupState& g : groups_) withKeyword.insert(g.component);
    for (std::size_t k = 0; k < components.size(); ++k) {
        if (withKeyword.count(k)) continue;
        for (const ComponentInfo::SeriesRow& row : components[k].Extra().series) {
            if (row.group.empty()) continue;
            c_.Add(Message::SeriesSwitchGroups, row.line,
                   "[Series Pin Mapping] of pin " + row.pin + " names function_table_group " +
                       row.group + ", but [Component] " + components[k].name +
                       " has no [Series Switch Groups]");
            break;
        }
    }
    std::set<std::size_t> withGroups;
    std::map<std::size_t, std::set<std::string>> named;  // the groups each component's states name
    for (const GroupState& g : groups_) {
        if (g.words.empty() && g.closed) continue;
        withGroups.insert(g.component);
        for (std::size_t i = 1; i < g.words.size(); ++i) named[g.component].insert(g.words[i]);
        if (g.component >= components.size()) continue;
        std::set<std::string> known;
        for (const ComponentInfo::SeriesRow& row : components[g.component].Extra().series)
            if (!row.group.empty()) known.insert(row.group);
        const std::string first = g.words.empty() ? "" : Lower(g.words[0]);
        if (first != "on" && first != "off")
            c_.Add(Message::SeriesSwitchGroups, g.line,
                   "a [Series Switch Groups] state begins with On or Off, not '" +
                       (g.words.empty() ? std::string("/") : g.words[0]) + "'");
        if (!g.closed)
            c_.Add(Message::SeriesSwitchGroups, g.line,
                   "a [Series Switch Groups] state ends with '/'");
        for (std::size_t i = 1; i < g.words.size(); ++i)
            if (!known.count(g.words[i]))
                c_.Add(
                    Message::SeriesSwitchGroups, g.line,
                    "group " + g.words[i] + " is no function_table_group of [Series Pin Mapping]");
    }
    // Each group of a component with states is named by one of them.
    for (std::size_t k : withGroups) {
        if (k >= components.size()) continue;
        std::set<std::string> told;
        for (const ComponentInfo::SeriesRow& row : components[k].Extra().series)
            if (!row.group.empty() && !named[k].count(row.group) && told.insert(row.group).second)
                c_.Add(Message::SeriesGroupUnswitched, row.line,
                       "function_table_group " + row.group + " of pin " + row.pin +
                           " is in no [Series Switch Groups] state; its switches are never set");
    }
    // A switch's row names its group when the component lists the states.
    std::map<std::string, const ModelInfo*> byName;  // the last model of a name
    if (!withGroups.empty())
        for (const ModelInfo& m : models_.Models())
            if (!m.submodel) byName[m.name] = &m;
    for (std::size_t k : withGroups) {
        if (k >= components.size()) continue;
        for (const ComponentInfo::SeriesRow& row : components[k].Extra().series) {
            const auto found = byName.find(row.model);
            const ModelInfo* model = found == byName.end() ? nullptr : found->second;
            if (model != nullptr && Lower(model->type) == "series_switch" && row.group.empty())
                c_.Add(Message::SeriesSwitchGroups, row.line,
                       "the Series_switch row of pin " + row.pin +
                           " needs its function_table_group ([Series Switch Groups] is given)");
        }
    }
}

void SeriesRules::Finish() {
    const std::deque<ModelInfo>& models = models_.Models();
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (models[i].submodel) continue;
        const auto s = series_.find(i);
        CheckModel(models[i], s == series_.end() ? Series{} : s->second);
    }
    for (const Mosfet& m : mosfets_)
        if (!m.vds)
            c_.Add(Message::SeriesMosfet, m.line, "[Series MOSFET] needs its Vds subparameter");
    CheckGroups();
}

}  // namespace ibis
