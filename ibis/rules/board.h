// Board descriptions (.ebd): [Begin Board Description] to [End Board
// Description], its [Pin List], [Path Description] and [Reference Designator Map].
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "context.h"
#include "segments.h"

namespace ibis {

class BoardRules {
public:
    explicit BoardRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // A board description left open at the end of the file.
    void Finish();

private:
    struct Path {
        std::string name;
        int line = 0, entries = 0;
        SegmentPath segments;
        bool closed = false;
    };
    // board_paths.cpp: a [Path Description]'s entries in order.
    void PathStart(const KeywordLine& k);
    void PathData(const DataLine& d);
    void ClosePath();
    void CheckReferencedFiles();
    struct Reference {
        std::string designator, file, component;
        int line = 0;
    };
    // Every path starts at a pin of the [Pin List]; every node names a
    // designator of the [Reference Designator Map].
    void CheckReferences();

    Context& c_;
    int start_ = 0;
    bool ended_ = true;
    int pins_ = -1, pinLines_ = 0, pinsLine_ = 0;  // [Number Of Pins], the [Pin List] rows
    bool pinList_ = false;
    std::set<std::string> pinNames_, designators_;  // lower case
    std::set<std::string> boardNames_;              // the file's board descriptions
    std::vector<std::pair<std::string, int>> pathPins_, pathNodes_;
    std::vector<std::pair<std::string, int>> signalPins_;  // [Pin List] pins of a signal
    std::optional<Path> path_;                             // the one being read (or the last)
    std::set<std::string> pathNames_;                      // of this board description
    std::vector<Reference> references_;
    // designator (lower case) -> its component's pins (lower case), for the
    // mapped files that were read and hold the component.
    std::map<std::string, std::set<std::string>> partPins_;
};

}  // namespace ibis
