#include "ami_parameters.h"

#include <cstring>

#include "ami_alloc.h"

namespace {

constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

// Matches `name`, after a "." when the path so far is not empty, against the
// sought name at `matched`; returns the new matched length or kNoMatch.
std::size_t MatchComponent(const char* sought, std::size_t matched, const char* name) {
    std::size_t p = matched;
    if (matched > 0) {
        if (sought[p] != '.') return kNoMatch;
        ++p;
    }
    for (const char* c = name; *c != '\0'; ++c, ++p) {
        if (sought[p] != *c) return kNoMatch;
    }
    return p;
}

struct Frame {
    const AmiBranch* branch;
    std::int32_t next;
    std::size_t matched;  // length of the branch's path, which equals sought's prefix
};

bool IsTrueIgnoringCase(const char* text) {
    const char* word = "true";
    for (; *word != '\0'; ++word, ++text) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *word) return false;
    }
    return *text == '\0';
}

const AmiValue* FirstValue(const AmiParameters& params, const char* dottedName) {
    const AmiLeaf* leaf = params.FindLeaf(dottedName);
    if (leaf == nullptr || leaf->values == nullptr || leaf->valueCount < 1) {
        return nullptr;
    }
    return &leaf->values[0];
}

}  // namespace

const AmiLeaf* ami_find_leaf(const AmiBranch* branch, const char* dottedName, const char* prefix) {
    if (branch == nullptr || branch->childCount == 0 || dottedName == nullptr) {
        return nullptr;
    }
    // Every full name below this branch starts with its path, so a path that
    // is not a prefix of the sought name rules out the whole subtree.
    const std::size_t prefixLength = prefix == nullptr ? 0 : std::strlen(prefix);
    if (std::strncmp(dottedName, prefix == nullptr ? "" : prefix, prefixLength) != 0) {
        return nullptr;
    }
    const std::size_t rootMatched = MatchComponent(dottedName, prefixLength, branch->name);
    if (rootMatched == kNoMatch) {
        return nullptr;
    }
    Frame* stack = nullptr;
    std::int32_t capacity = 0, depth = 0;
    if (!ami_reserve_array(&stack, &capacity, 1)) {
        return nullptr;
    }
    stack[depth++] = {branch, 0, rootMatched};
    const AmiLeaf* found = nullptr;
    while (depth > 0 && found == nullptr) {
        Frame& frame = stack[depth - 1];
        if (frame.next >= frame.branch->childCount) {
            --depth;
            continue;
        }
        const AmiNodeRef child = frame.branch->children[frame.next++];
        const std::size_t matched = frame.matched;
        if (child.node == nullptr) continue;
        if (child.kind == AmiNodeKind::Leaf) {
            const AmiLeaf* leaf = static_cast<const AmiLeaf*>(child.node);
            const std::size_t end = MatchComponent(dottedName, matched, leaf->name);
            if (end != kNoMatch && dottedName[end] == '\0') {
                found = leaf;
            }
            continue;
        }
        const AmiBranch* sub = static_cast<const AmiBranch*>(child.node);
        if (sub->childCount == 0) continue;
        const std::size_t subMatched = MatchComponent(dottedName, matched, sub->name);
        if (subMatched == kNoMatch) continue;
        if (!ami_reserve_array(&stack, &capacity, depth + 1)) {
            break;  // out of memory: nothing found
        }
        stack[depth++] = {sub, 0, subMatched};
    }
    ami_release(stack);
    return found;
}

AmiParameters::AmiParameters(const char* text) {
    if (text == nullptr) {
        return;
    }
    resultCode = ami_parse_tree(text, &tree);
    ok = resultCode == AMI_OK;
}

AmiParameters::~AmiParameters() { ami_free_tree(&tree); }

const AmiLeaf* AmiParameters::FindLeaf(const char* dottedName) const {
    if (!ok || tree == nullptr || tree->slotCount < 1 || tree->slots[0].node == nullptr) {
        return nullptr;
    }
    return ami_find_leaf(ami_branch(tree->slots[0]), dottedName, "");
}

bool AmiParameters::GetDouble(double& destination, const char* dottedName) const {
    const AmiValue* value = FirstValue(*this, dottedName);
    if (value == nullptr ||
        (value->type != AmiValueType::Integer && value->type != AmiValueType::Float)) {
        return false;
    }
    double number = 0.0;
    if (!ami_number_value(value->text, &number)) {
        return false;
    }
    destination = number;
    return true;
}

bool AmiParameters::GetInt(std::int32_t& destination, const char* dottedName) const {
    double number = 0.0;
    if (!GetDouble(number, dottedName)) {
        return false;
    }
    // Truncation toward zero, saturated (NaN cannot occur: such forms are Strings).
    if (number >= 2147483647.0) {
        destination = 2147483647;
    } else if (number <= -2147483648.0) {
        destination = -2147483647 - 1;
    } else if (number != number) {
        destination = 0;
    } else {
        destination = static_cast<std::int32_t>(number);
    }
    return true;
}

bool AmiParameters::GetBool(bool& destination, const char* dottedName) const {
    const AmiValue* value = FirstValue(*this, dottedName);
    if (value == nullptr || value->type != AmiValueType::Boolean) {
        return false;
    }
    destination = IsTrueIgnoringCase(value->text);
    return true;
}
