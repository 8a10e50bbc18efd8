// The keywords no section's rules read, checked from their layout in the
// row schema: each line's columns, numbers, NA and subparameter names, and
// times that increase.
#pragma once

#include <string>
#include <vector>

#include "context.h"
#include "row_schema.h"
#include "subparameters.h"

namespace ibis {

class GenericRules {
public:
    explicit GenericRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);

private:
    // The values of one line (after a subparameter's name): their count and each cell.
    void Values(const std::vector<std::string>& words, std::size_t from, int line,
                const std::string& where);
    bool Cell(const std::string& word, std::size_t column, int line, double* out);
    void NotBelowZero(const SubparameterDef& def, const DataLine& d);

    Context& c_;
    const RowSchema* schema_ = nullptr;
    std::string keyword_;  // as written, for messages
    bool hasLast_ = false;
    double last_ = 0;  // the previous row's first column
};

}  // namespace ibis
