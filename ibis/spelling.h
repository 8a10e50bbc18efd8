// The known name nearest a misspelt one, for a "did you mean" hint.
#pragma once

#include <string>
#include <vector>

namespace ibis {

// The candidate nearest `word` when it is near enough to be a slip of the
// keyboard, compared without case and with '_' and ' ' alike: at most one
// edit for a word of up to 5 characters, two up to 12, three beyond (an edit
// adds, drops or changes a character, or swaps two neighbours). Empty when
// none is that near, or when two different candidates are equally near.
std::string NearestName(const std::string& word, const std::vector<std::string>& candidates);

// "; did you mean <open>X<close>?" for the nearest candidate, or empty.
std::string DidYouMean(const std::string& word, const std::vector<std::string>& candidates,
                       const std::string& open = "", const std::string& close = "");

}  // namespace ibis
