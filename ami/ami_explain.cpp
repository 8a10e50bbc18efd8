#include "ami_explain.h"

#include <vector>

#include "ami_tree.h"

namespace {

// The name a group opened at `at` (its first word). A text without comments
// holds "|" only where the .ami reader marks a Table's row of one entry,
// "(| 2)": that row is named by its entry.
std::string GroupName(const std::string& text, std::size_t at) {
    const auto blank = [&](std::size_t i) {
        return text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n';
    };
    std::size_t b = at + 1;
    while (b < text.size() && blank(b)) ++b;
    if (b + 1 < text.size() && text[b] == '|' && blank(b + 1)) return GroupName(text, b);
    std::size_t e = b;
    while (e < text.size() && !blank(e) && text[e] != '(' && text[e] != ')' && e - b < 64) ++e;
    return text.substr(b, e - b);
}

// The first group that holds a name alone, "(1)", and the first empty one, "()".
struct BareGroups {
    int nameOnlyLine = 0, emptyLine = 0;
    std::string nameOnly;
};

// Notes the group text[open, close], which holds no group, when it is bare.
void NoteBareGroup(const std::string& text, std::size_t open, std::size_t close, int line,
                   BareGroups& bare) {
    const char* const kBlanks = " \t\r\n\v\f";
    const std::string inside = text.substr(open + 1, close - open - 1);
    const std::size_t b = inside.find_first_not_of(kBlanks);
    if (b == std::string::npos) {
        if (bare.emptyLine == 0) bare.emptyLine = line;
        return;
    }
    const std::string word = inside.substr(b, inside.find_last_not_of(kBlanks) + 1 - b);
    if (bare.nameOnlyLine == 0 && word.find_first_of(kBlanks) == std::string::npos &&
        word.find('"') == std::string::npos) {
        bare.nameOnlyLine = line;
        bare.nameOnly = word.substr(0, 64);
    }
}

// Where the parentheses go wrong, by line: one pass over the text.
struct Parentheses {
    struct Open {
        int line;
        std::size_t at;
        bool holdsGroup;
    };
    int line = 1, quoteLine = 0, openLine = 0, rootEnd = 0;
    int strayClose = 0;  // the line of a ')' that closes no group
    std::vector<Open> opens;
    std::string lastClosed;  // the last group closed, and its lines
    int lastClosedLine = 0, lastClosedEnd = 0;
    bool quoted = false;
    BareGroups bare;

    explicit Parentheses(const std::string& text) {
        for (std::size_t i = 0; i < text.size() && strayClose == 0; ++i) {
            const char c = text[i];
            if (c == '\n') ++line;
            if (c == '"') {
                quoted = !quoted;
                quoteLine = line;
            } else if (!quoted && c == '(') {
                if (opens.empty() && rootEnd != 0 && openLine == 0) openLine = line;
                if (!opens.empty()) opens.back().holdsGroup = true;
                opens.push_back({line, i, false});
            } else if (!quoted && c == ')') {
                Close(text, i);
            }
        }
    }

    void Close(const std::string& text, std::size_t i) {
        if (opens.empty()) {
            strayClose = line;
            return;
        }
        // A group that holds other groups is a parameter or a branch: the
        // last one closed tells where a ')' went missing.
        const Open& open = opens.back();
        lastClosed = GroupName(text, open.at);
        if (!open.holdsGroup) NoteBareGroup(text, open.at, i, open.line, bare);
        lastClosedLine = open.line;
        lastClosedEnd = line;
        opens.pop_back();
        if (opens.empty() && rootEnd == 0) rootEnd = line;
    }

    std::string NeverClosed(const std::string& text) const {
        const int lastLine = text.empty() || text.back() == '\n' ? line - 1 : line;
        std::string why = "line " + std::to_string(opens.back().line) + ": '(' of " +
                          GroupName(text, opens.back().at) +
                          " is never closed; the file ends at line " + std::to_string(lastLine);
        if (!lastClosed.empty())
            why += ", and the last group closed is " + lastClosed + " (lines " +
                   std::to_string(lastClosedLine) + " to " + std::to_string(lastClosedEnd) + ")";
        return why;
    }
};

std::string AtLine(int line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

std::string ami_explain_failure(const std::string& text, int code) {
    const Parentheses p(text);
    if (p.strayClose != 0) return AtLine(p.strayClose, "')' closes no group");
    const BareGroups& bare = p.bare;
    switch (code) {
        case AMI_UNBALANCED:
            if (p.quoted) return AtLine(p.quoteLine, "a quote is never closed");
            return p.opens.empty() ? "unbalanced parentheses" : p.NeverClosed(text);
        case AMI_NO_OPEN_PAREN:
            return "the text does not begin with '('";
        case AMI_NO_PARENT:
            return "no parameter tree: the text is empty or its outermost group holds a single "
                   "value";
        case AMI_NO_MEMORY:
            return "out of memory while parsing";
        case AMI_SECOND_ROOT:
            return p.openLine != 0
                       ? AtLine(p.openLine, "a second group after the outermost one has closed")
                       : "text after the outermost group";
        case AMI_NOTHING_TO_CLOSE:
            if (bare.nameOnlyLine != 0)
                return AtLine(bare.nameOnlyLine,
                              "(" + bare.nameOnly +
                                  ") is a group that holds only a name; a value or a group must "
                                  "follow it");
            if (bare.emptyLine != 0) return AtLine(bare.emptyLine, "an empty group ()");
            return "a ')' with no group left to close, or a group that holds only a name";
        case AMI_TOO_MANY_NODES:
            return "more groups and values than the parser can hold";
        case AMI_EMPTY_TOKEN:
            if (bare.emptyLine != 0) return AtLine(bare.emptyLine, "an empty group ()");
            return "an empty name or value";
        default:
            return "the text does not parse";
    }
}

std::string ami_strip_comments(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool quoted = false, comment = false;
    for (char c : text) {
        if (comment) {
            if (c == '\n' || c == '\r') {
                comment = false;
                out += c;
            }
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == '|' && !quoted) {
            comment = true;
            continue;
        }
        if (c == '\n') quoted = false;  // a quote never spans lines in a well-formed file
        out += c;
    }
    return out;
}
