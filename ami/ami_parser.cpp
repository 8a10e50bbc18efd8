// The parameter tree parser: count, build, link.
#include <cstring>

#include "ami_alloc.h"
#include "ami_tree.h"

namespace {

// Blanks are exactly these six bytes, in every locale; bytes above 127 never are.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t SkipBlanks(const char* text, std::size_t p) {
    while (IsBlank(text[p])) ++p;
    return p;
}

// A copy of text[from, to) without its trailing blanks.
char* TrimmedCopy(const char* text, std::size_t from, std::size_t to) {
    while (to > from && IsBlank(text[to - 1])) --to;
    char* copy = nullptr;
    if (!ami_alloc_array(&copy, to - from + 1)) {
        return nullptr;
    }
    std::memcpy(copy, text + from, to - from);
    return copy;
}

AmiLeafRole RoleOf(const char* name) {
    static const char* const kRoles[] = {"Usage",   "Type",        "Format",
                                         "Default", "Description", "Labels"};
    for (int k = 0; k < 6; ++k) {
        if (std::strcmp(name, kRoles[k]) == 0) {
            return static_cast<AmiLeafRole>(k + 1);
        }
    }
    return AmiLeafRole::Other;
}

void FreeLeaf(AmiLeaf* leaf) {
    for (std::int32_t v = 0; v < leaf->valueCount; ++v) {
        ami_release(leaf->values[v].text);
    }
    ami_release(leaf->values);
    ami_release(leaf->name);
    ami_release(leaf);
}

void FreeBranch(AmiBranch* branch) {
    ami_release(branch->name);
    ami_release(branch->children);
    ami_release(branch);
}

bool AppendValue(AmiLeaf* leaf, const char* text, std::size_t from, std::size_t to) {
    if (!ami_reserve_array(&leaf->values, &leaf->valueCapacity, leaf->valueCount + 1)) {
        return false;
    }
    char* copy = TrimmedCopy(text, from, to);
    if (copy == nullptr) {
        return false;
    }
    AmiValue& value = leaf->values[leaf->valueCount++];
    value.text = copy;
    value.type = ami_value_type(copy);
    value.keyword = value.type == AmiValueType::String ? ami_keyword_code(copy) : AmiKeyword::None;
    return true;
}

// The position just past the ")" that closes the group whose "(" is at p,
// skipping double-quoted runs; 0 when the text ends first.
std::size_t SkipBalancedRun(const char* text, std::size_t p) {
    std::int64_t depth = 1;  // the enclosing leaf's own group
    for (;;) {
        const char c = text[p];
        if (c == '\0') return 0;
        if (c == '"') {
            ++p;
            while (text[p] != '\0' && text[p] != '"') ++p;
            if (text[p] == '\0') return 0;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return p + 1;
        }
        ++p;
    }
}

// Scanner state of one build; the names follow the parse's description.
struct Build {
    char* text;
    AmiTree* tree;
    std::int32_t N;
    std::size_t P = 0, T = 0;
    std::int64_t D = 0;
    std::int32_t i = 0, j = 0;
};

// Makes the record of a node named text[S, E) in slot i, at level D / 2.
template <class Record>
int NewNode(Build& b, AmiNodeKind kind, std::size_t S, std::size_t E, Record** made) {
    if (b.i >= b.N) return AMI_TOO_MANY_NODES;
    if (E < S) return AMI_EMPTY_TOKEN;
    Record* record = nullptr;
    if (!ami_alloc_array(&record, 1)) return AMI_NO_MEMORY;
    b.tree->slots[b.i] = {kind, static_cast<std::int32_t>(b.D / 2), record};
    record->name = TrimmedCopy(b.text, S, E);
    if (record->name == nullptr) return AMI_NO_MEMORY;
    *made = record;
    return AMI_OK;
}

// Reads a leaf's values from P on; the leaf's name ends at E.
int BuildLeaf(Build& b, std::size_t S, std::size_t E) {
    char* text = b.text;
    ++b.D;
    AmiLeaf* leaf = nullptr;
    if (const int rc = NewNode(b, AmiNodeKind::Leaf, S, E, &leaf)) return rc;
    leaf->role = RoleOf(leaf->name);

    std::size_t V = b.P, B = 0;
    bool secondBlank = false;
    for (;;) {
        const char c = text[b.P];
        if (c == '\0') {
            return AMI_UNBALANCED;  // the text ends inside the leaf
        }
        if (c == ')') {
            if (b.P < V) return AMI_EMPTY_TOKEN;
            if (!AppendValue(leaf, text, V, b.P)) return AMI_NO_MEMORY;
            b.P = SkipBlanks(text, b.P + 1);
            b.T = b.P;
            if (b.D <= 1) return AMI_NOTHING_TO_CLOSE;
            b.D -= 2;
            ++b.i;
            return AMI_OK;
        }
        if (c == '(') {
            // A group among a leaf's values: the leaf is dropped with the group.
            FreeLeaf(leaf);
            b.tree->slots[b.i] = {AmiNodeKind::Branch, 0, nullptr};
            const std::size_t after = SkipBalancedRun(text, b.P);
            if (after == 0) return AMI_UNBALANCED;
            b.P = SkipBlanks(text, after);
            b.T = b.P;
            if (b.D <= 1) return AMI_NOTHING_TO_CLOSE;
            b.D -= 2;
            return AMI_OK;
        }
        if (IsBlank(c)) {
            if (!secondBlank) {
                secondBlank = true;
                B = b.P;
            }
            ++b.P;
            continue;
        }
        if (secondBlank) {
            // The previous value ended at B; this character starts the next.
            if (B < V) return AMI_EMPTY_TOKEN;
            if (!AppendValue(leaf, text, V, B)) return AMI_NO_MEMORY;
            b.P = SkipBlanks(text, b.P);
            b.T = V = b.P;
            secondBlank = false;
            continue;
        }
        if (c == '"') {
            // A quoted value: what lies between the quotes, blanks and
            // parentheses included. Both quotes become blanks.
            text[b.P] = ' ';
            V = b.P + 1;
            b.P = V;
            while (text[b.P] != '\0' && text[b.P] != '"') ++b.P;
            if (text[b.P] == '\0') return AMI_UNBALANCED;
            text[b.P] = ' ';
            continue;
        }
        ++b.P;
    }
}

// One cycle of the build, starting at T.
int BuildCycle(Build& b) {
    char* text = b.text;
    b.P = b.T;
    bool blank = false;
    bool hasE = false;
    std::size_t E = 0;
    if (text[b.T] == '(') {
        ++b.D;
        b.P = SkipBlanks(text, b.P + 1);
    }
    std::size_t S = b.P;
    for (;;) {
        const char c = text[b.P];
        if (c == '\0') {
            b.T = b.P;
            return AMI_OK;
        }
        if (c == '(') {
            // The group is a branch; the next cycle starts on this parenthesis.
            ++b.D;
            if (!hasE) {
                hasE = true;
                E = b.P;
            }
            AmiBranch* branch = nullptr;
            if (const int rc = NewNode(b, AmiNodeKind::Branch, S, E, &branch)) return rc;
            ++b.i;
            b.T = b.P;
            return AMI_OK;
        }
        if (c == ')') {
            // A group closes: this cycle does not count.
            b.P = SkipBlanks(text, b.P + 1);
            if (b.D <= 1) return AMI_NOTHING_TO_CLOSE;
            b.D -= 2;
            if (b.j == 0) return AMI_NOTHING_TO_CLOSE;
            --b.j;
            b.P = SkipBlanks(text, b.P);
            b.T = b.P;
            if (text[b.P] == '(') {
                ++b.D;
                ++b.P;
            }
            b.P = SkipBlanks(text, b.P);
            S = b.P;
            continue;
        }
        if (IsBlank(c)) {
            if (!blank) {
                blank = true;
                hasE = true;
                E = b.P;
            }
            ++b.P;
            continue;
        }
        if (!blank) {
            ++b.P;
            continue;
        }
        return BuildLeaf(b, S, E);
    }
}

}  // namespace

int ami_count_groups(const char* text, std::int64_t* groups) {
    bool inQuote = false;
    std::int64_t opens = 0, closes = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"') {
            inQuote = !inQuote;
        } else if (!inQuote) {
            opens += *p == '(';
            closes += *p == ')';
        }
    }
    if (opens != closes) {
        return AMI_UNBALANCED;
    }
    *groups = opens;
    return AMI_OK;
}

int ami_build_nodes(char* work, AmiTree* tree, std::int32_t* filled) {
    Build b;
    b.text = work;
    b.tree = tree;
    b.N = tree->slotCount;
    while (b.j < b.N) {
        const int rc = BuildCycle(b);
        *filled = b.i;
        if (rc != AMI_OK) {
            return rc;
        }
        ++b.j;
    }
    *filled = b.i;
    return AMI_OK;
}

int ami_link_tree(AmiTree* tree, std::int32_t filled) {
    if (filled <= 0) {
        return AMI_OK;
    }
    std::int32_t maxLevel = 0;
    for (std::int32_t s = 0; s < filled; ++s) {
        if (tree->slots[s].level > maxLevel) maxLevel = tree->slots[s].level;
    }
    // stack[0] is the bottom entry: slot 0 when it is a branch, else an entry
    // of level 0 with no record. Levels strictly increase up the stack, so it
    // never holds more than maxLevel + 1 entries.
    AmiNodeRef* stack = nullptr;
    if (!ami_alloc_array(&stack, static_cast<std::size_t>(maxLevel) + 1)) {
        return AMI_NO_MEMORY;
    }
    std::int32_t top = 0;
    std::int32_t first = 0;
    if (tree->slots[0].kind == AmiNodeKind::Branch && tree->slots[0].node != nullptr) {
        stack[0] = tree->slots[0];
        first = 1;
    } else {
        stack[0] = {AmiNodeKind::Branch, 0, nullptr};
    }
    int rc = AMI_OK;
    for (std::int32_t s = first; s < filled && rc == AMI_OK; ++s) {
        const AmiNodeRef ref = tree->slots[s];
        if (ref.node == nullptr) continue;
        while (stack[top].level >= ref.level) {
            if (top == 0) {
                rc = AMI_SECOND_ROOT;
                break;
            }
            --top;
        }
        if (rc != AMI_OK) break;
        AmiBranch* parent = static_cast<AmiBranch*>(stack[top].node);
        if (parent == nullptr) {
            rc = AMI_NO_PARENT;
            break;
        }
        if (ref.level == stack[top].level + 1) {
            if (!ami_reserve_array(&parent->children, &parent->childCapacity,
                                   parent->childCount + 1)) {
                rc = AMI_NO_MEMORY;
                break;
            }
            parent->children[parent->childCount++] = ref;
            if (ref.kind == AmiNodeKind::Branch) {
                stack[++top] = ref;
            }
        }
    }
    ami_release(stack);
    return rc;
}

int ami_parse_tree(const char* text, AmiTree** result) {
    if (text == nullptr || result == nullptr) {
        return AMI_NO_PARENT;
    }
    std::size_t start = 0;
    while (IsBlank(text[start])) ++start;
    if (text[start] != '(') {
        return AMI_NO_OPEN_PAREN;
    }
    std::int64_t groups = 0;
    if (ami_count_groups(text + start, &groups) != AMI_OK) {
        return AMI_UNBALANCED;
    }
    if (groups > 0x7FFFFFFF) {
        return AMI_NO_MEMORY;
    }
    AmiTree* tree = nullptr;
    if (!ami_alloc_array(&tree, 1)) {
        return AMI_NO_MEMORY;
    }
    if (!ami_alloc_array(&tree->slots, static_cast<std::size_t>(groups))) {
        ami_release(tree);
        return AMI_NO_MEMORY;
    }
    tree->slotCount = static_cast<std::int32_t>(groups);

    char* work = ami_copy_text(text + start, std::strlen(text + start));
    if (work == nullptr) {
        ami_free_tree(&tree);
        return AMI_NO_MEMORY;
    }
    std::int32_t filled = 0;
    int rc = ami_build_nodes(work, tree, &filled);
    ami_release(work);
    if (rc == AMI_OK) {
        rc = ami_link_tree(tree, filled);
    }
    if (rc != AMI_OK) {
        ami_free_tree(&tree);
        return rc;
    }
    *result = tree;
    return AMI_OK;
}

void ami_free_tree(AmiTree** tree) {
    if (tree == nullptr || *tree == nullptr) {
        return;
    }
    AmiTree* t = *tree;
    for (std::int32_t s = 0; s < t->slotCount; ++s) {
        const AmiNodeRef& ref = t->slots[s];
        if (ref.node == nullptr) continue;
        if (ref.kind == AmiNodeKind::Leaf) {
            FreeLeaf(static_cast<AmiLeaf*>(ref.node));
        } else {
            FreeBranch(static_cast<AmiBranch*>(ref.node));
        }
    }
    ami_release(t->slots);
    ami_release(t);
    *tree = nullptr;
}

AmiKeyword ami_keyword_code(const char* text) {
    static const char* const kWords[] = {"In",      "Out",    "Info",     "InOut",      "Float",
                                         "Integer", "String", "Boolean",  "Tap",        "UI",
                                         "Value",   "Range",  "List",     "Corner",     "Increment",
                                         "Steps",   "Table",  "Gaussian", "Dual-Dirac", "DjRj"};
    if (text == nullptr) {
        return AmiKeyword::None;
    }
    for (int k = 0; k < 20; ++k) {
        if (std::strcmp(text, kWords[k]) == 0) {
            return static_cast<AmiKeyword>(k);
        }
    }
    return AmiKeyword::None;
}
