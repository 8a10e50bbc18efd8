// AmiParameters: a parsed parameter string and typed reads by dotted name.
//
// A dotted name joins the group names from the outermost group (the model
// name) down to a leaf with "."; it is compared byte for byte, case-sensitive.
// A read takes the leaf's first value only, writes the destination only when
// it returns true, and never changes the tree.
#pragma once

#include <cstdint>

#include "ami_tree.h"

class AmiParameters {
public:
    // Parses a private copy of `text`; a null text leaves ok false.
    explicit AmiParameters(const char* text);
    ~AmiParameters();
    AmiParameters(const AmiParameters&) = delete;
    AmiParameters& operator=(const AmiParameters&) = delete;

    // The leaf a dotted name denotes, or null. The first leaf in text order wins.
    const AmiLeaf* FindLeaf(const char* dottedName) const;
    // Integer or Float first value, as the correctly rounded double.
    bool GetDouble(double& destination, const char* dottedName) const;
    // Integer or Float first value, truncated toward zero and saturated to the
    // 32-bit range.
    bool GetInt(std::int32_t& destination, const char* dottedName) const;
    // Boolean first value: true when it reads "true" with case ignored.
    bool GetBool(bool& destination, const char* dottedName) const;

    bool ok = false;
    AmiTree* tree = nullptr;
    int resultCode = AMI_NO_PARENT;  // what ami_parse_tree returned
};

// Searches the subtree of `branch` for the leaf named `dottedName`; `prefix` is
// the dotted path of the branch's parent ("" at the top). Depth-first in text
// order, without recursion, comparing the name incrementally.
const AmiLeaf* ami_find_leaf(const AmiBranch* branch, const char* dottedName, const char* prefix);
