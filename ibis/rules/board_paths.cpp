// A [Path Description]'s entries in order: "Pin name" first, segments
// "Len = x [L = x] [R = x] [C = x] /", "Fork" ... "Endfork" branches and
// "Node designator.pin" ends. Entries may run over lines; "=" may stand alone
// or touch its name and value.
#include <cmath>

#include "board.h"
#include "lexer.h"
#include "segments.h"

namespace ibis {

void BoardRules::PathStart(const KeywordLine& k) {
    ClosePath();
    path_ = Path{};
    Path& p = *path_;
    p.name = k.words.empty() ? "" : k.words[0];
    p.line = k.line;
    if (p.name.empty()) c_.Add(Message::MissingValue, k.line, "[Path Description] needs a name");
    if (!p.name.empty() && !pathNames_.insert(p.name).second)
        c_.Add(Message::BoardPath, k.line, "path " + p.name + " is described twice");
}

void BoardRules::PathData(const DataLine& d) {
    if (!path_) return;
    Path& p = *path_;
    const std::vector<std::string> t = SegmentTokens(d.words);
    const SegmentPath::Fault fault = [&](const std::string& text) {
        c_.Add(Message::BoardPath, d.line, "[Path Description] " + p.name + ": " + text);
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string word = Lower(t[i]);
        if (p.entries == 0 && word != "pin") fault("a path begins with Pin, not '" + t[i] + "'");
        ++p.entries;
        if (word == "pin" || word == "node") {
            if (i + 1 >= t.size()) {
                fault(t[i] + " needs a name");
                continue;
            }
            p.segments.EndSegment(t[i], fault);
            if (word == "pin") {
                if (p.entries != 1) fault("Pin stands only at the path's start");
                pathPins_.emplace_back(t[i + 1], d.line);
            } else {
                if (!p.segments.EndBranch()) fault("a branch goes on after its Node");
                pathNodes_.emplace_back(t[i + 1], d.line);
            }
            ++i;
        } else if (!p.segments.Read(t, i, fault)) {
            fault("'" + t[i] + "' is none of Pin, Len, L, R, C, '/', Fork, Endfork, Node");
            SegmentPath::SkipUnknown(t, i);
        }
    }
}

void BoardRules::ClosePath() {
    if (!path_) return;
    Path& p = *path_;
    if (p.closed) return;
    p.closed = true;
    p.segments.Finish([&](const std::string& text) {
        c_.Add(Message::BoardPath, p.line, "[Path Description] " + p.name + ": " + text);
    });
    if (p.entries == 0)
        c_.Add(Message::BoardPath, p.line, "[Path Description] " + p.name + " is empty");
    else if (p.entries == 1)
        c_.Add(
            Message::BoardPath, p.line,
            "[Path Description] " + p.name + ": its Pin leads nowhere (no segment, Fork or Node)");
}

}  // namespace ibis
