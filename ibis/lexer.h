// Reading IBIS text (.ibs, .pkg, .ebd): lines, the comment character,
// keywords, words and numbers. Keywords are matched case- and
// blank-insensitively ("[Model_Spec]" is "[Model Spec]"); the words after a
// keyword and on data lines are split at blanks and tabs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ibis {

// A keyword as the table knows it: lower case, "_" as a blank, single blanks.
std::string Normalise(const std::string& keyword);
std::vector<std::string> Split(const std::string& s);
// The same into `words`, reusing its strings' buffers.
void SplitInto(const std::string& s, std::vector<std::string>& words);
std::string Lower(std::string s);
std::string Upper(std::string s);

// A number with an optional scale suffix (T G M k m u n p f) and unit letters.
std::optional<double> Number(const std::string& text);
// A number as messages show it (%g).
std::string Shown(double v);
// Reserved words (NA, NC, POWER, GND, the matrix forms, ...) are not case
// sensitive: "the file is case-sensitive except for reserved words, keywords,
// sub-parameters and sub-parameter definitions".
bool IsNa(const std::string& s);
bool IsNc(const std::string& s);

// The argument of [Comment Char]: one of !"#$%&'()*,:;<>?@\^`{|}~ then
// "_char"; nothing for anything else.
std::optional<char> CommentCharArgument(const std::string& word);
// The characters CommentCharArgument accepts.
extern const char kCommentChars[];

// Versions as ten times their number: 1.1 -> 11, 7.2 -> 72.
std::string VersionText(int v);
std::optional<int> ParseVersion(const std::string& text);
// Every version ParseVersion accepts: "1.1, 2.0, ..., 7.2".
std::string KnownVersionsText();

// One line of the file, comments cut.
struct Line {
    enum Kind { Blank, Keyword, Unclosed, Data } kind = Blank;
    int number = 0;
    std::string raw;      // the whole line without its line end, comments kept
    std::string content;  // without the comment
    // Keyword: the name as written between the brackets, its normalised form
    // and the text after "]". Unclosed: a "[" with no "]".
    std::string name, key, args;
    std::vector<std::string> words;  // of args for a keyword, of content for data
    std::size_t column = 0;          // of the keyword's "[", from 0
};

// The lines of a text in order. The comment character changes with
// [Comment Char], whose own line is read before comments are cut ("|_char"
// is valid); SetCommentChar applies from the next line.
class Lexer {
public:
    // The text must outlive the lexer.
    explicit Lexer(std::string_view text) : text_(text) {}
    // False at the end of the text.
    bool Next(Line& line);
    void SetCommentChar(char c) { comment_ = c; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int number_ = 0;
    char comment_ = '|';
};

}  // namespace ibis
