// [External Model] and [External Circuit]: their Language and Corner lines.
#pragma once

#include <set>
#include <string>

#include "context.h"

namespace ibis {

class ExternalRules {
public:
    explicit ExternalRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);

    // The names of the file's [External Circuit]s.
    const std::set<std::string>& Circuits() const { return circuits_; }

private:
    // At the closing keyword: a Language and a Typ corner were given.
    void CheckSection();

    Context& c_;
    struct Open {
        int line = 0;
        std::string keyword;
        bool language = false;
        std::set<std::string> corners;
    } open_;
    std::set<std::string> circuits_;
};

}  // namespace ibis
