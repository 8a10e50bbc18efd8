// Paths of segments, as a board's [Path Description] and a package model's
// sectioned [Pin Numbers] give them: "Len = x [L = x] [R = x] [C = x] /"
// segments and "Fork" ... "Endfork" branches. Entries may run over lines;
// "=" may stand alone or touch its name and value.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ibis {

// The words of a line with "=" and "/" apart: "Len=0.5/" -> "Len" "=" "0.5" "/".
std::vector<std::string> SegmentTokens(const std::vector<std::string>& words);

// One path's segments and branches, read entry by entry.
class SegmentPath {
public:
    using Fault = std::function<void(const std::string& text)>;
    // Reads the segment entry at t[i] (Len, L, R, C with "= value", "/",
    // Fork, Endfork), moving i to its last token. False when t[i] is none;
    // SkipUnknown then moves past it and a "= value" after it.
    bool Read(const std::vector<std::string>& t, std::size_t& i, const Fault& fault);
    static void SkipUnknown(const std::vector<std::string>& t, std::size_t& i) {
        if (i + 2 < t.size() && t[i + 1] == "=") i += 2;
    }
    // Before an entry that ends the segment in front of it (a board's Node or
    // Pin, a package's next pin): the segment must have had its '/'.
    void EndSegment(const std::string& entry, const Fault& fault);
    // The branch in progress reached its end (a board's Node); false when it
    // had already.
    bool EndBranch();
    bool BranchEnded() const { return ended_.back(); }
    // At the end of the path: its last segment closed, its forks joined.
    void Finish(const Fault& fault);
    // The segments closed on the main path, outside every Fork.
    unsigned MainSegments() const { return mainSegments_; }

private:
    bool open_ = false;                  // a segment begun by Len, not yet ended by '/'
    unsigned given_ = 0;                 // the open segment's L (1), R (2) and C (4)
    std::vector<bool> ended_ = {false};  // per open branch: reached its end
    unsigned mainSegments_ = 0;
};

}  // namespace ibis
