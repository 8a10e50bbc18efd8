// What the lines of a keyword hold, for the keywords whose layout the
// standard fixes and that no section's rules read: one row per keyword, so a
// keyword nobody wrote a rule for is still checked (its column count, its
// numbers, its NA, its subparameter names, its time order).
#pragma once

#include "keywords.h"

namespace ibis {

enum class Layout {
    KeywordValues,  // the values stand on the keyword's own line
    Rows,           // lines of columns
    Subparameters,  // lines of a subparameter name (from subparameters.h) and its values
};

enum class Cell { Number, Integer, Text };

struct RowSchema {
    Kw id;
    Layout layout;
    int minColumns, maxColumns;  // values per line (after the name for Subparameters); 0: no limit
    Cell cell;
    bool naAfterFirst;  // typ first, required; min and max may be NA
    bool increasing;    // Rows: the first column strictly increases (time)
    const char* what;   // the columns in the standard's words, for messages
};

// The layout of a keyword, or null when no row describes it.
const RowSchema* FindRowSchema(Kw id);
const RowSchema* RowSchemasBegin();
const RowSchema* RowSchemasEnd();

}  // namespace ibis
