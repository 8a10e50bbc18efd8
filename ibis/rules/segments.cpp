#include "segments.h"

#include <optional>

#include "lexer.h"

namespace ibis {

std::vector<std::string> SegmentTokens(const std::vector<std::string>& words) {
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

bool SegmentPath::Read(const std::vector<std::string>& t, std::size_t& i, const Fault& fault) {
    const std::string word = Lower(t[i]);
    if (word == "fork" || word == "endfork") {
        EndSegment(t[i], fault);
        if (word == "fork") {
            if (ended_.back()) fault("a branch goes on after its Node");
            ended_.push_back(false);
        } else if (ended_.size() == 1) {
            fault("Endfork without Fork");
        } else {
            ended_.pop_back();
        }
        return true;
    }
    if (word == "/") {
        if (!open_) fault("'/' ends no segment");
        if (open_ && ended_.size() == 1) ++mainSegments_;
        open_ = false;
        return true;
    }
    if (word != "len" && word != "l" && word != "r" && word != "c") return false;
    if (word == "len") {
        if (open_) fault("the segment before Len has no '/'");
        if (ended_.back()) fault("a branch goes on after its Node");
        open_ = true;
        given_ = 0;
    } else if (!open_) {
        fault(t[i] + " belongs to a segment that begins with Len");
    } else {
        const unsigned bit = word == "l" ? 1u : word == "r" ? 2u : 4u;
        if (given_ & bit) fault(t[i] + " is given twice in one segment");
        given_ |= bit;
    }
    if (i + 2 >= t.size() || t[i + 1] != "=") {
        fault(t[i] + " needs '= value'");
        return true;
    }
    const std::optional<double> v = Number(t[i + 2]);
    if (!v)
        fault(t[i] + " '" + t[i + 2] + "' is not a number");
    else if (*v < 0)
        fault(t[i] + " " + t[i + 2] + " is below zero");
    i += 2;
    return true;
}

void SegmentPath::EndSegment(const std::string& entry, const Fault& fault) {
    if (open_) fault("the segment before " + entry + " has no '/'");
    open_ = false;
}

bool SegmentPath::EndBranch() {
    const bool first = !ended_.back();
    ended_.back() = true;
    return first;
}

void SegmentPath::Finish(const Fault& fault) {
    if (open_) fault("its last segment has no '/'");
    if (ended_.size() > 1) fault("Fork without Endfork");
}

}  // namespace ibis
