// A [Path Description]'s entries in order: "Pin name" first, segments
// "Len = x [L = x] [R = x] [C = x] /", "Fork" ... "Endfork" branches and
// "Node designator.pin" ends. Entries may run over lines; "=" may stand alone
// or touch its name and value.
#include <cmath>

#include "board.h"
#include "lexer.h"

namespace ibis {

namespace {

// The words of a path line with "=" separated: "Len=0.5" -> "Len" "=" "0.5".
std::vector<std::string> Tokens(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const std::string& w : words) {
        std::string part;
        for (char c : w) {
            if (c == '=' || c == '/') {
                if (!part.empty()) out.push_back(part);
                out.push_back(std::string(1, c));
                part.clear();
            } else {
                part += c;
            }
        }
        if (!part.empty()) out.push_back(part);
    }
    return out;
}

}  // namespace

void BoardRules::PathStart(const KeywordLine& k) {
    ClosePath();
    paths_.emplace_back();
    Path& p = paths_.back();
    p.name = k.words.empty() ? "" : k.words[0];
    p.line = k.line;
    if (p.name.empty()) c_.Add(Message::MissingValue, k.line, "[Path Description] needs a name");
    for (std::size_t i = 0; i + 1 < paths_.size(); ++i)
        if (!p.name.empty() && paths_[i].name == p.name)
            c_.Add(Message::BoardPath, k.line, "path " + p.name + " is described twice");
}

void BoardRules::PathData(const DataLine& d) {
    if (paths_.empty()) return;
    Path& p = paths_.back();
    const std::vector<std::string> t = Tokens(d.words);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string word = Lower(t[i]);
        const auto fault = [&](const std::string& text) {
            c_.Add(Message::BoardPath, d.line, "[Path Description] " + p.name + ": " + text);
        };
        if (p.entries == 0 && word != "pin") fault("a path begins with Pin, not '" + t[i] + "'");
        ++p.entries;
        if (word == "pin" || word == "node") {
            if (i + 1 >= t.size()) {
                fault(t[i] + " needs a name");
                continue;
            }
            if (p.open) fault("the segment before " + t[i] + " has no '/'");
            p.open = false;
            if (word == "pin") {
                if (p.entries != 1) fault("Pin stands only at the path's start");
                pathPins_.emplace_back(t[i + 1], d.line);
            } else {
                if (p.ended.back()) fault("a branch goes on after its Node");
                p.ended.back() = true;
                pathNodes_.emplace_back(t[i + 1], d.line);
            }
            ++i;
        } else if (word == "fork" || word == "endfork") {
            if (p.open) fault("the segment before " + t[i] + " has no '/'");
            p.open = false;
            if (word == "fork") {
                if (p.ended.back()) fault("a branch goes on after its Node");
                p.ended.push_back(false);
            } else if (p.ended.size() == 1) {
                fault("Endfork without Fork");
            } else {
                p.ended.pop_back();
            }
        } else if (word == "len" || word == "l" || word == "r" || word == "c") {
            if (word == "len") {
                if (p.open) fault("the segment before Len has no '/'");
                if (p.ended.back()) fault("a branch goes on after its Node");
                p.open = true;
            } else if (!p.open) {
                fault(t[i] + " belongs to a segment that begins with Len");
            }
            const std::optional<double> v =
                i + 2 < t.size() && t[i + 1] == "=" ? Number(t[i + 2]) : std::nullopt;
            if (!v) {
                fault(t[i] + " needs '= value'");
                continue;
            }
            if (*v < 0) fault(t[i] + " " + t[i + 2] + " is below zero");
            i += 2;
        } else if (word == "/") {
            if (!p.open) fault("'/' ends no segment");
            p.open = false;
        } else {
            fault("'" + t[i] + "' is none of Pin, Len, L, R, C, '/', Fork, Endfork, Node");
        }
    }
}

void BoardRules::ClosePath() {
    if (paths_.empty()) return;
    Path& p = paths_.back();
    if (p.closed) return;
    p.closed = true;
    if (p.open)
        c_.Add(Message::BoardPath, p.line,
               "[Path Description] " + p.name + ": its last segment has no '/'");
    if (p.ended.size() > 1)
        c_.Add(Message::BoardPath, p.line,
               "[Path Description] " + p.name + ": Fork without Endfork");
    if (p.entries == 0)
        c_.Add(Message::BoardPath, p.line, "[Path Description] " + p.name + " is empty");
    else if (p.entries == 1)
        c_.Add(
            Message::BoardPath, p.line,
            "[Path Description] " + p.name + ": its Pin leads nowhere (no segment, Fork or Node)");
}

}  // namespace ibis
