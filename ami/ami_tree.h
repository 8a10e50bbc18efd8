// The AMI parameter string as a tree of branches, leaves and typed values.
//
// A parameter string is a parenthesised tree: "(model (TXDIFFCTRL 12) (sub (a 1 2)))".
// ami_parse_tree turns it into an AmiTree: one slot per group of the text, in the
// order the groups open, linked into branches and leaves by nesting level.
//
// Ownership: the slot array owns every branch and leaf record; the children
// arrays of branches hold copies of slot entries and own only themselves; each
// record owns its name, and a leaf owns its values array and each value's text.
// The tree keeps no pointer into the input text. ami_free_tree releases all of
// it. AmiParameters (ami_parameters.h) owns one tree.
//
// All memory comes from the reporting allocation routines (ami_alloc.h), zero
// filled. Nothing throws; functions return result codes (0 success).
#pragma once

#include <cstdint>

enum class AmiNodeKind : std::int32_t { Branch = 0, Leaf = 1 };

enum class AmiLeafRole : std::int32_t {
    Other = 0,
    Usage = 1,
    Type = 2,
    Format = 3,
    Default = 4,
    Description = 5,
    Labels = 6,
};

enum class AmiValueType : std::int32_t {
    None = -1,
    String = 0,
    Integer = 1,
    Boolean = 2,
    Float = 3
};

enum class AmiKeyword : std::int32_t {
    None = -1,
    In = 0,
    Out = 1,
    Info = 2,
    InOut = 3,
    Float = 4,
    Integer = 5,
    String = 6,
    Boolean = 7,
    Tap = 8,
    UI = 9,
    Value = 10,
    Range = 11,
    List = 12,
    Corner = 13,
    Increment = 14,
    Steps = 15,
    Table = 16,
    Gaussian = 17,
    DualDirac = 18,
    DjRj = 19,
};

struct AmiBranch;
struct AmiLeaf;

struct AmiNodeRef {
    AmiNodeKind kind;    // Branch for a zero slot
    std::int32_t level;  // the outermost group has level 1
    void* node;          // AmiBranch or AmiLeaf by kind; null for an unfilled slot
};

struct AmiValue {
    char* text;  // without quotes
    AmiValueType type;
    AmiKeyword keyword;
};

struct AmiBranch {
    char* name;
    AmiNodeRef* children;  // copies of slot entries, text order; null while none
    std::int32_t childCount;
    std::int32_t childCapacity;
};

struct AmiLeaf {
    char* name;
    AmiValue* values;
    std::int32_t valueCount;
    std::int32_t valueCapacity;
    AmiLeafRole role;
};

struct AmiTree {
    AmiNodeRef* slots;
    std::int32_t slotCount;  // the number of "(" outside double quotes
};

inline AmiBranch* ami_branch(const AmiNodeRef& ref) {
    return ref.kind == AmiNodeKind::Branch ? static_cast<AmiBranch*>(ref.node) : nullptr;
}
inline AmiLeaf* ami_leaf(const AmiNodeRef& ref) {
    return ref.kind == AmiNodeKind::Leaf ? static_cast<AmiLeaf*>(ref.node) : nullptr;
}

// Result codes of ami_parse_tree.
enum : int {
    AMI_OK = 0,
    AMI_UNBALANCED =
        1,  // "(" and ")" outside quotes differ; or the text ends inside a group or quote
    AMI_NO_OPEN_PAREN = 2,     // the text does not begin with "(" after blanks
    AMI_NO_PARENT = 3,         // no text or result place; or the outermost group is a leaf
    AMI_NO_MEMORY = 4,         // an allocation failed
    AMI_SECOND_ROOT = 5,       // a node at or above the level of the first group
    AMI_NOTHING_TO_CLOSE = 6,  // a ")" with no group left; a group holding only a name
    AMI_TOO_MANY_NODES = 7,    // more nodes than slots
    AMI_EMPTY_TOKEN = 8,       // a name or value that would end before it starts
};

// Parses `text` (never modified, need not outlive the call). On success stores
// a new tree in *result; on failure stores nothing and releases what it built.
int ami_parse_tree(const char* text, AmiTree** result);
// Releases the tree and sets *tree to null. Accepts a null tree.
void ami_free_tree(AmiTree** tree);

// The steps of ami_parse_tree, in calling order.
// Counts the groups of `text`: the "(" and ")" outside double quotes. Returns
// AMI_UNBALANCED when the counts differ, else stores the count of "(".
int ami_count_groups(const char* text, std::int64_t* groups);
// Fills the tree's slots from `work` (a private copy, whose double quotes it
// overwrites); stores the number of filled slots.
int ami_build_nodes(char* work, AmiTree* tree, std::int32_t* filled);
// Attaches the first `filled` slots to their parents by level.
int ami_link_tree(AmiTree* tree, std::int32_t filled);

// Classifies a value's text: None when empty; Integer or Float when the whole
// text is a decimal number (leading blanks and a sign allowed; no hexadecimal,
// infinity or not-a-number forms); Boolean for exactly "True" or "False";
// String otherwise. The same rules hold in every locale and on every platform.
AmiValueType ami_value_type(const char* text);
// The keyword code of `text`, or None.
AmiKeyword ami_keyword_code(const char* text);
// The correctly rounded double of an Integer or Float text (±infinity or ±0
// beyond the double range). Returns false for other texts.
bool ami_number_value(const char* text, double* value);
