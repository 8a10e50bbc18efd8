#include "lexer.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ibis {

namespace {

const int kVersions[] = {11, 20, 21, 30, 31, 32, 40, 41, 42, 50, 51, 60, 61, 70, 71, 72};

// ASCII case, whatever the locale: IBIS text is ASCII.
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const char kCommentChars[] = "!\"#$%&'()*,:;<>?@\\^`{|}~";

std::string Normalise(const std::string& keyword) {
    std::string out;
    out.reserve(keyword.size());
    for (char c : keyword) {
        const char d = c == '_' ? ' ' : AsciiLower(c);
        if (d == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += d;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

void SplitInto(const std::string& s, std::vector<std::string>& words) {
    std::size_t n = 0, i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
        if (n < words.size())
            words[n].assign(s, i, j - i);
        else
            words.emplace_back(s, i, j - i);
        ++n;
        i = j;
    }
    words.resize(n);
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> words;
    SplitInto(s, words);
    return words;
}

std::string Lower(std::string s) {
    for (char& c : s) c = AsciiLower(c);
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = AsciiUpper(c);
    return s;
}

std::string Shown(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

std::optional<double> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double value = 0;
    // The number's digits by from_chars (several times faster than strtod;
    // no hexadecimal, infinity or NaN), then an optional scale and unit letters.
    const char* begin = text.data();
    const char* const stop = begin + text.size();
    const char* digits = begin + (*begin == '+' ? 1 : 0);
    if (digits < stop && (*digits == '+' || *digits == '-') && begin != digits) return std::nullopt;
    const auto [end, error] = std::from_chars(digits, stop, value, std::chars_format::general);
    if (error != std::errc() || end == digits || !std::isfinite(value)) return std::nullopt;
    const char* rest = end;
    if (rest != stop) {
        static const char kScale[] = "TGMkmunpf";
        static const double kFactor[] = {1e12, 1e9, 1e6, 1e3, 1e-3, 1e-6, 1e-9, 1e-12, 1e-15};
        const auto* s = static_cast<const char*>(std::memchr(kScale, *rest, sizeof kScale - 1));
        if (s != nullptr) {
            value *= kFactor[s - kScale];
            ++rest;
        }
        for (; rest != stop; ++rest)
            if (!std::isalpha(static_cast<unsigned char>(*rest))) return std::nullopt;
    }
    return value;
}

bool IsNa(const std::string& s) {
    return s.size() == 2 && (s[0] == 'N' || s[0] == 'n') && (s[1] == 'A' || s[1] == 'a');
}

bool IsNc(const std::string& s) {
    return s.size() == 2 && (s[0] == 'N' || s[0] == 'n') && (s[1] == 'C' || s[1] == 'c');
}

std::optional<char> CommentCharArgument(const std::string& word) {
    if (word.size() != 6 || word.substr(1) != "_char" ||
        std::string(kCommentChars).find(word[0]) == std::string::npos)
        return std::nullopt;
    return word[0];
}

std::string VersionText(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", v / 10, v % 10);
    return text;
}

std::string KnownVersionsText() {
    std::string all;
    for (int known : kVersions) all += (all.empty() ? "" : ", ") + VersionText(known);
    return all;
}

std::optional<int> ParseVersion(const std::string& text) {
    for (int known : kVersions)
        if (text == VersionText(known)) return known;
    return std::nullopt;
}

bool Lexer::Next(Line& out) {
    if (at_ > text_.size()) return false;
    std::size_t end = text_.find('\n', at_);
    if (end == std::string::npos) end = text_.size();
    std::size_t stop = end;
    if (stop > at_ && text_[stop - 1] == '\r') --stop;
    const std::size_t from = at_;
    at_ = end + 1;
    if (at_ > text_.size() && stop == from) return false;  // the end after a final line end
    // The line's strings keep their buffers from line to line.
    out.kind = Line::Blank;
    out.number = ++number_;
    out.raw.assign(text_.data() + from, stop - from);
    out.name.clear();
    out.key.clear();
    out.args.clear();
    const std::string& l = out.raw;
    // [Comment Char] names the new comment character as its argument: that
    // line is read before comments are cut.
    const std::size_t lead = l.find_first_not_of(" \t");
    const bool commentCharLine =
        lead != std::string::npos && l[lead] == '[' &&
        Normalise(l.substr(lead + 1, l.find(']', lead) - lead - 1)) == "comment char";
    const std::size_t comment = commentCharLine ? std::string::npos : l.find(comment_);
    out.content.assign(l, 0, comment == std::string::npos ? l.size() : comment);
    const std::size_t first = out.content.find_first_not_of(" \t");
    if (first == std::string::npos) {
        out.words.clear();
        return true;  // Blank
    }
    if (out.content[first] != '[') {
        out.kind = Line::Data;
        SplitInto(out.content, out.words);
        return true;
    }
    out.words.clear();
    const std::size_t close = out.content.find(']', first);
    if (close == std::string::npos) {
        out.kind = Line::Unclosed;
        out.name = out.content.substr(first, 40);
        return true;
    }
    out.kind = Line::Keyword;
    out.column = first;
    out.name.assign(out.content, first + 1, close - first - 1);
    out.key = Normalise(out.name);
    out.args.assign(out.content, close + 1, std::string::npos);
    SplitInto(out.args, out.words);
    return true;
}

}  // namespace ibis
