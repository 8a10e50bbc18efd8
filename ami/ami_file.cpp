#include "ami_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "ami_explain.h"
#include "ami_parameters.h"

namespace {

const char* const kFormats[] = {"Value", "Range", "List",     "Corner",     "Increment",
                                "Steps", "Table", "Gaussian", "Dual-Dirac", "DjRj"};

// The line of each node and where its "(" stands: the parser gives slot k to
// the k-th "(" outside double quotes, counted from the first one. Kept sorted
// by node, 16 bytes each (a hash map took five times as much on a file of a
// million groups).
struct Place {
    const void* node;
    int line;
    std::uint32_t offset;  // of its "(" in the text; UINT32_MAX: beyond 4 GB
};

struct Lines {
    const std::string& text;
    std::vector<Place> byNode;
    const Place* Find(const void* node) const {
        const auto at = std::lower_bound(
            byNode.begin(), byNode.end(), node,
            [](const Place& e, const void* n) { return std::less<const void*>()(e.node, n); });
        return at == byNode.end() || at->node != node ? nullptr : &*at;
    }
    int Of(const void* node) const {
        const Place* p = Find(node);
        return p == nullptr ? 1 : p->line;
    }
    // Whether each of a leaf's values is written in double quotes: its text
    // read again, the name then one word or quoted run a value.
    std::vector<bool> Quoted(const AmiLeaf* leaf) const {
        std::vector<bool> out(static_cast<std::size_t>(leaf->valueCount), true);
        const Place* p = Find(leaf);
        if (p == nullptr || p->offset == UINT32_MAX) return out;
        std::size_t i = p->offset + 1;
        const auto blank = [&] {
            return i < text.size() && std::isspace(static_cast<unsigned char>(text[i]));
        };
        const auto word = [&] {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])) &&
                   text[i] != '(' && text[i] != ')' && text[i] != '"')
                ++i;
        };
        while (blank()) ++i;
        word();  // the leaf's name
        for (std::size_t v = 0; v < out.size(); ++v) {
            while (blank()) ++i;
            if (i >= text.size() || text[i] == ')' || text[i] == '(') break;
            out[v] = text[i] == '"';
            if (out[v]) {
                i = text.find('"', i + 1);
                if (i == std::string::npos) break;
                ++i;
            } else {
                word();
            }
        }
        return out;
    }
};

Lines NodeLines(const std::string& text, const AmiTree& tree) {
    Lines lines{text, {}};
    bool quoted = false;
    int line = 1;
    std::int32_t slot = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (slot >= tree.slotCount) break;
        if (c == '\n') ++line;
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '(' && !quoted) {
            const auto offset = i < UINT32_MAX ? static_cast<std::uint32_t>(i) : UINT32_MAX;
            if (tree.slots[slot].node != nullptr)
                lines.byNode.push_back({tree.slots[slot].node, line, offset});
            ++slot;
        }
    }
    std::sort(lines.byNode.begin(), lines.byNode.end(), [](const Place& a, const Place& b) {
        return std::less<const void*>()(a.node, b.node);
    });
    return lines;
}

// "(Format Table (Labels a b) (1 2))" spells the Table format the way
// "(Format Range 0 -1 1)" spells a Range, but a group among a leaf's values
// makes the parser drop the leaf. The word Format is blanked there, leaving
// "(Table ...)" at the same offsets and lines.
void BlankFormatBeforeTable(std::string& text) {
    const auto blank = [&](std::size_t i) {
        return i < text.size() && std::isspace(static_cast<unsigned char>(text[i]));
    };
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (quoted || text[i] != '(') continue;
        std::size_t f = i + 1;
        while (blank(f)) ++f;
        if (text.compare(f, 6, "Format") != 0 || !blank(f + 6)) continue;
        std::size_t t = f + 6;
        while (blank(t)) ++t;
        if (text.compare(t, 5, "Table") != 0 || (!blank(t + 5) && text.compare(t + 5, 1, "(") != 0))
            continue;
        text.replace(f, 6, 6, ' ');
    }
}

// A Table's row of one column, "(2)", would read as a name with nothing
// after it. "|", which no name of a text without comments holds, is put
// before such a row's one entry, "(| 2)", so that the entry reads as a value;
// Describe gives the row that entry alone. Lines and the count of "(" stay.
constexpr const char* kOneColumnRow = "|";

bool IsBlankChar(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The first word of the group opened at `open`.
bool GroupIsTable(const std::string& text, std::size_t open) {
    std::size_t b = open + 1;
    while (b < text.size() && IsBlankChar(text[b])) ++b;
    if (text.compare(b, 5, "Table") != 0) return false;
    const std::size_t e = b + 5;
    return e < text.size() && (IsBlankChar(text[e]) || text[e] == '(' || text[e] == ')');
}

// Whether the group opened at `open` holds one word or one quoted run alone.
bool HoldsOneEntry(const std::string& text, std::size_t open) {
    std::size_t i = open + 1;
    while (i < text.size() && IsBlankChar(text[i])) ++i;
    if (i >= text.size() || text[i] == '(' || text[i] == ')') return false;
    if (text[i] == '"') {
        i = text.find('"', i + 1);
        if (i == std::string::npos) return false;
        ++i;
    } else {
        while (i < text.size() && !IsBlankChar(text[i]) && text[i] != '(' && text[i] != ')' &&
               text[i] != '"')
            ++i;
    }
    while (i < text.size() && IsBlankChar(text[i])) ++i;
    return i < text.size() && text[i] == ')';
}

void MarkOneColumnRows(std::string& text) {
    std::vector<std::size_t> rows;  // the "(" of each one-column row
    std::vector<bool> table;        // per open group: whether it is a Table
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (quoted) continue;
        if (text[i] == ')' && !table.empty()) table.pop_back();
        if (text[i] != '(') continue;
        if (!table.empty() && table.back() && HoldsOneEntry(text, i)) rows.push_back(i);
        table.push_back(GroupIsTable(text, i));
    }
    if (rows.empty()) return;
    std::string out;
    out.reserve(text.size() + 2 * rows.size());
    std::size_t from = 0;
    for (const std::size_t at : rows) {
        out.append(text, from, at + 1 - from);
        out += kOneColumnRow;
        out += ' ';
        from = at + 1;
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

AmiFileValue Value(const AmiValue& v) { return AmiFileValue{v.text, v.type}; }

const AmiLeaf* ChildLeaf(const AmiBranch* branch, const char* name) {
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiLeaf* leaf = ami_leaf(branch->children[c]);
        if (leaf != nullptr && std::strcmp(leaf->name, name) == 0) return leaf;
    }
    return nullptr;
}

std::optional<AmiFileValue> FirstValue(const AmiBranch* branch, const char* name) {
    const AmiLeaf* leaf = ChildLeaf(branch, name);
    if (leaf == nullptr || leaf->valueCount < 1) return std::nullopt;
    return Value(leaf->values[0]);
}

AmiFileParameter Describe(const AmiBranch* branch, const std::string& path, const Lines& lines) {
    AmiFileParameter p;
    p.name = branch->name;
    p.path = path;
    p.line = lines.Of(branch);
    p.usage = FirstValue(branch, "Usage");
    p.type = FirstValue(branch, "Type");
    p.defaultValue = FirstValue(branch, "Default");
    if (p.defaultValue) p.defaultValue->quoted = lines.Quoted(ChildLeaf(branch, "Default"))[0];
    if (const auto d = FirstValue(branch, "Description")) p.description = d->text;
    p.leaves.reserve(static_cast<std::size_t>(branch->childCount));
    p.leafValues.reserve(static_cast<std::size_t>(branch->childCount));
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiLeaf* leaf = ami_leaf(branch->children[c]);
        const AmiBranch* sub = ami_branch(branch->children[c]);
        if (leaf != nullptr) {
            p.leaves.push_back(leaf->name);
            p.leafValues.push_back(leaf->valueCount);
        }
        if (leaf != nullptr && std::strcmp(leaf->name, "List_Tip") == 0)
            p.listTips = static_cast<std::size_t>(leaf->valueCount);
        if (sub != nullptr) {
            p.leaves.push_back(sub->name);
            p.leafValues.push_back(-1);
        }
    }
    for (int c = 0; c < branch->childCount && p.format.empty(); ++c) {
        const AmiLeaf* leaf = ami_leaf(branch->children[c]);
        if (leaf == nullptr) continue;
        int first = 0;
        if (std::strcmp(leaf->name, "Format") == 0) {
            if (leaf->valueCount < 1) continue;
            p.format = leaf->values[0].text;
            first = 1;
        } else if (ami_is_format_name(leaf->name)) {
            p.format = leaf->name;
        } else {
            continue;
        }
        const std::vector<bool> quoted = lines.Quoted(leaf);
        p.values.reserve(static_cast<std::size_t>(leaf->valueCount - first));
        for (int v = first; v < leaf->valueCount; ++v) {
            p.values.push_back(Value(leaf->values[v]));
            p.values.back().quoted = quoted[static_cast<std::size_t>(v)];
        }
    }
    // A Table holds rows, so it is a branch: "(Table (Labels a b) (1 2))".
    for (int c = 0; c < branch->childCount && p.format.empty(); ++c) {
        const AmiBranch* sub = ami_branch(branch->children[c]);
        if (sub == nullptr || std::strcmp(sub->name, "Table") != 0) continue;
        p.format = "Table";
        for (int r = 0; r < sub->childCount; ++r) {
            const AmiLeaf* row = ami_leaf(sub->children[r]);
            if (row != nullptr && std::strcmp(row->name, "Labels") == 0)
                p.tableLabels = static_cast<std::size_t>(row->valueCount);
            if (row == nullptr || std::strcmp(row->name, "Labels") == 0) continue;
            std::vector<std::string> cells;
            if (std::strcmp(row->name, kOneColumnRow) != 0) cells.emplace_back(row->name);
            for (int v = 0; v < row->valueCount; ++v) cells.push_back(Value(row->values[v]).text);
            p.tableRows.push_back(std::move(cells));
        }
    }
    return p;
}

// `describes` forces a parameter's description (every child of Reserved_Parameters).
AmiFileNode Node(const AmiBranch* branch, const std::string& path, const Lines& lines,
                 bool describes) {
    AmiFileNode node;
    node.name = branch->name;
    node.line = lines.Of(branch);
    node.isParameter =
        describes || ChildLeaf(branch, "Usage") != nullptr || ChildLeaf(branch, "Type") != nullptr;
    if (node.isParameter) {
        node.parameter = Describe(branch, path, lines);
        return node;
    }
    node.children.reserve(static_cast<std::size_t>(branch->childCount));
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiBranch* sub = ami_branch(branch->children[c]);
        if (sub == nullptr) continue;  // a group's own description or a stray leaf
        node.children.push_back(
            Node(sub, path.empty() ? sub->name : path + "." + sub->name, lines, false));
    }
    return node;
}

}  // namespace

bool ami_is_format_name(const std::string& name) {
    for (const char* f : kFormats)
        if (name == f) return true;
    return false;
}

std::string AmiFileParameter::SentValue() const {
    if (defaultValue) return defaultValue->text;
    static const char* const kTypical[] = {"Value",  "Range",     "List",
                                           "Corner", "Increment", "Steps"};
    for (const char* f : kTypical)
        if (format == f && !values.empty()) return values[0].text;
    return "";
}

bool AmiFileParameter::Bounds(double& min, double& max) const {
    if ((format != "Range" && format != "Increment" && format != "Steps") || values.size() < 3)
        return false;
    double lo = 0, hi = 0;
    if (!ami_number_value(values[1].text.c_str(), &lo) ||
        !ami_number_value(values[2].text.c_str(), &hi))
        return false;
    min = lo;
    max = hi;
    return true;
}

tx::Expected<AmiFileContents> ami_read_file(const std::string& text) {
    std::string clean = ami_strip_comments(text);
    BlankFormatBeforeTable(clean);
    MarkOneColumnRows(clean);
    const AmiParameters parsed(clean.c_str());
    if (!parsed.ok) return tx::Error{ami_explain_failure(clean, parsed.resultCode)};
    const AmiBranch* root = ami_branch(parsed.tree->slots[0]);
    if (root == nullptr) return tx::Error{"the file holds no parameter tree"};
    const Lines lines = NodeLines(clean, *parsed.tree);
    AmiFileContents out;
    out.root = root->name;
    out.rootLine = lines.Of(root);
    for (int c = 0; c < root->childCount; ++c) {
        const AmiBranch* sub = ami_branch(root->children[c]);
        if (sub == nullptr) {
            if (const AmiLeaf* leaf = ami_leaf(root->children[c]))
                out.others.emplace_back(leaf->name, lines.Of(leaf));
            continue;
        }
        std::optional<AmiFileNode>* branch = nullptr;
        if (std::strcmp(sub->name, "Reserved_Parameters") == 0) branch = &out.reserved;
        if (std::strcmp(sub->name, "Model_Specific") == 0) branch = &out.modelSpecific;
        if (branch == nullptr || branch->has_value()) {  // the first of each
            out.others.emplace_back(sub->name, lines.Of(sub));
            continue;
        }
        const bool reserved = branch == &out.reserved;
        AmiFileNode node;
        node.name = sub->name;
        node.line = lines.Of(sub);
        node.children.reserve(static_cast<std::size_t>(sub->childCount));
        for (int k = 0; k < sub->childCount; ++k) {
            const AmiBranch* p = ami_branch(sub->children[k]);
            if (p != nullptr) node.children.push_back(Node(p, p->name, lines, reserved));
        }
        *branch = std::move(node);
    }
    return out;
}
