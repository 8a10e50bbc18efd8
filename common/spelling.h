// The known name nearest a misspelt one, for a "did you mean" hint (the
// checker's messages, amihost's unknown parameters).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

namespace tx {

namespace spelling_detail {

inline std::string Folded(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        c = c == '_' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits from a to b (optimal string alignment), or more than `most` when
// that many is passed.
inline std::size_t Edits(const std::string& a, const std::string& b, std::size_t most) {
    const std::size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > most) return most + 1;
    std::vector<std::size_t> before(m + 1), row(m + 1), now(m + 1);
    for (std::size_t j = 0; j <= m; ++j) row[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        now[0] = i;
        std::size_t least = now[0];
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            now[j] = std::min({row[j] + 1, now[j - 1] + 1, row[j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                now[j] = std::min(now[j], before[j - 2] + 1);
            least = std::min(least, now[j]);
        }
        if (least > most) return most + 1;
        before.swap(row);
        row.swap(now);
    }
    return row[m];
}

}  // namespace spelling_detail

// The candidate nearest `word` when it is near enough to be a slip of the
// keyboard, compared without case and with '_' and ' ' alike: at most one
// edit for a word of up to 5 characters, two up to 12, three beyond (an edit
// adds, drops or changes a character, or swaps two neighbours). Empty when
// none is that near, or when two different candidates are equally near.
inline std::string NearestName(const std::string& word,
                               const std::vector<std::string>& candidates) {
    using spelling_detail::Edits;
    using spelling_detail::Folded;
    const std::string w = Folded(word);
    if (w.empty() || w.size() > 64) return "";
    const std::size_t most = w.size() <= 5 ? 1 : w.size() <= 12 ? 2 : 3;
    std::size_t best = most + 1;
    std::string found;
    bool tie = false;
    for (const std::string& c : candidates) {
        if ((c.size() > w.size() ? c.size() - w.size() : w.size() - c.size()) > most) continue;
        const std::size_t d = Edits(w, Folded(c), most);
        if (d > most || d > best) continue;
        if (d < best) {
            best = d;
            found = c;
            tie = false;
        } else if (Folded(c) != Folded(found)) {
            tie = true;
        }
    }
    return tie || found == word ? "" : found;
}

// "; did you mean <open>X<close>?" for the nearest candidate, or empty.
inline std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates,
                              const std::string& open = "", const std::string& close = "") {
    const std::string near = NearestName(word, candidates);
    return near.empty() ? "" : "; did you mean " + open + near + close + "?";
}

// Hints for one file or one run: a file of countless slips among countless
// names gets the first 1000 hints, and no more than a million comparisons.
class Hints {
public:
    std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates,
                           const std::string& open = "", const std::string& close = "") {
        if (given_ >= 1000 || compared_ + candidates.size() > 1000000) return "";
        ++given_;
        compared_ += candidates.size();
        return tx::DidYouMean(word, candidates, open, close);
    }

private:
    int given_ = 0;
    std::size_t compared_ = 0;
};

}  // namespace tx
