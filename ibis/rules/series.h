// Series and Series_switch models: the series elements and the [On] and [Off]
// states of a [Model], [Series MOSFET], and a component's [Series Switch Groups]
// against its [Series Pin Mapping].
#pragma once

#include <map>
#include <string>
#include <vector>

#include "component.h"
#include "context.h"
#include "model.h"

namespace ibis {

class SeriesRules {
public:
    SeriesRules(Context& c, const ModelRules& models, const ComponentRules& components)
        : c_(c), models_(models), components_(components) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // Each model's elements against its Model_type; the groups against the mapping.
    void Finish();

private:
    enum State { kNone, kOn, kOff };
    struct Element {
        Kw id;
        std::string name;  // as written
        int line = 0;
        State state = kNone;
    };
    struct Series {
        std::vector<Element> elements;
        int onLine = 0, offLine = 0;
    };
    struct Mosfet {
        int line = 0;
        bool vds = false;
    };
    struct GroupState {
        std::size_t component = 0;
        std::vector<std::string> words;
        int line = 0;
        bool closed = false;
    };
    void ElementValues(const KeywordLine& k);
    void CheckModel(const ModelInfo& m, const Series& s);
    void CheckGroups();

    Context& c_;
    const ModelRules& models_;
    const ComponentRules& components_;
    std::map<std::size_t, Series> series_;  // by model index
    std::vector<Mosfet> mosfets_;
    std::vector<GroupState> groups_;
    std::size_t tableRows_ = 0;  // rows of the [Series Current] or [Series MOSFET] being read
    void CountTableRow(const DataLine& d);
    std::size_t model_ = 0;
    State state_ = kNone;
};

}  // namespace ibis
