// Board descriptions (.ebd): [Begin Board Description] to [End Board
// Description], its [Pin List], [Path Description] and [Reference Designator Map].
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "context.h"

namespace ibis {

class BoardRules {
public:
    explicit BoardRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // A board description left open at the end of the file.
    void Finish();

private:
    // Every path starts at a pin of the [Pin List]; every node names a
    // designator of the [Reference Designator Map].
    void CheckReferences();

    Context& c_;
    int start_ = 0;
    bool ended_ = true;
    int pins_ = -1, pinLines_ = 0, pinsLine_ = 0;  // [Number Of Pins], the [Pin List] rows
    bool manufacturer_ = false, pinList_ = false, path_ = false;
    std::set<std::string> pinNames_, designators_;  // lower case
    std::vector<std::pair<std::string, int>> pathPins_, pathNodes_;
};

}  // namespace ibis
