#include "ami_file.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "ami_explain.h"
#include "ami_parameters.h"

namespace amihost {

namespace {

std::vector<std::string> Values(const AmiLeaf* leaf) {
    std::vector<std::string> out;
    for (int v = 0; v < leaf->valueCount; ++v) out.emplace_back(leaf->values[v].text);
    return out;
}

const AmiLeaf* ChildLeaf(const AmiBranch* branch, const char* name) {
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiLeaf* leaf = ami_leaf(branch->children[c]);
        if (leaf != nullptr && std::string(leaf->name) == name) return leaf;
    }
    return nullptr;
}

const AmiBranch* ChildBranch(const AmiBranch* branch, const char* name) {
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiBranch* sub = ami_branch(branch->children[c]);
        if (sub != nullptr && std::string(sub->name) == name) return sub;
    }
    return nullptr;
}

bool ToNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    return ami_number_value(text.c_str(), &value);
}

std::string Quote(const std::string& type, const std::string& value) {
    if (type == "String") return "\"" + value + "\"";
    return value;
}

// A parameter description holds a Usage leaf; anything else is a group.
bool IsParameter(const AmiBranch* branch) { return ChildLeaf(branch, "Usage") != nullptr; }

AmiParameter Describe(const AmiBranch* branch, const std::string& path) {
    AmiParameter p;
    p.path = path;
    p.name = branch->name;
    auto first = [&](const char* leafName) -> std::string {
        const AmiLeaf* leaf = ChildLeaf(branch, leafName);
        return leaf != nullptr && leaf->valueCount > 0 ? leaf->values[0].text : "";
    };
    p.usage = first("Usage");
    p.type = first("Type");
    p.description = first("Description");
    if (const AmiLeaf* range = ChildLeaf(branch, "Range")) {
        const std::vector<std::string> v = Values(range);
        double lo = 0, hi = 0;
        if (v.size() >= 3 && ToNumber(v[1], lo) && ToNumber(v[2], hi)) {
            p.min = lo;
            p.max = hi;
        }
        if (!v.empty()) p.defaultValue = v[0];
    }
    if (const AmiLeaf* list = ChildLeaf(branch, "List")) {
        p.list = Values(list);
        if (!p.list.empty()) p.defaultValue = p.list[0];
    }
    if (const AmiLeaf* value = ChildLeaf(branch, "Value")) {
        if (value->valueCount > 0) p.defaultValue = value->values[0].text;
    }
    if (const AmiLeaf* def = ChildLeaf(branch, "Default")) {
        if (def->valueCount > 0) p.defaultValue = def->values[0].text;
    }
    return p;
}

// Collects the parameters below `branch` and the tree of those to send.
void Collect(const AmiBranch* branch, const std::string& prefix, AmiFile& file, ParamNode& node) {
    for (int c = 0; c < branch->childCount; ++c) {
        const AmiBranch* sub = ami_branch(branch->children[c]);
        if (sub == nullptr) continue;  // descriptions of groups and stray leaves
        const std::string path = prefix.empty() ? sub->name : prefix + "." + sub->name;
        if (IsParameter(sub)) {
            AmiParameter p = Describe(sub, path);
            if (p.usage == "In" || p.usage == "InOut") {
                ParamNode leaf;
                leaf.name = p.name;
                leaf.value = Quote(p.type, p.defaultValue);
                leaf.leaf = true;
                node.children.push_back(leaf);
            }
            file.parameters.push_back(p);
        } else {
            ParamNode group;
            group.name = sub->name;
            Collect(sub, path, file, group);
            if (!group.children.empty()) node.children.push_back(group);
        }
    }
}

ParamNode* FindNode(ParamNode& node, const std::string& path) {
    const std::size_t dot = path.find('.');
    const std::string head = path.substr(0, dot);
    for (ParamNode& child : node.children) {
        if (child.name != head) continue;
        if (dot == std::string::npos) return child.leaf ? &child : nullptr;
        if (ParamNode* found = FindNode(child, path.substr(dot + 1))) return found;
    }
    return nullptr;
}

void Write(const ParamNode& node, std::ostringstream& out) {
    out << "(" << node.name;
    if (node.leaf) {
        out << " " << node.value;
    } else {
        for (const ParamNode& child : node.children) {
            out << " ";
            Write(child, out);
        }
    }
    out << ")";
}

std::string FormatNumber(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

}  // namespace

std::string StripComments(const std::string& text) { return ami_strip_comments(text); }

std::string ExplainParseFailure(const std::string& text, int code) {
    return ami_explain_failure(text, code);
}

std::string ParseParameterString(const std::string& text) {
    // A bare root, "(name)": what a simulator sends for an .ami file with no
    // input parameters (and so does this tool); the parser wants a leaf.
    const std::size_t open = text.find_first_not_of(" \t\r\n");
    const std::size_t close = text.find_last_not_of(" \t\r\n");
    if (open != std::string::npos && text[open] == '(' && text[close] == ')') {
        const std::string name = text.substr(open + 1, close - open - 1);
        const std::size_t a = name.find_first_not_of(" \t\r\n"),
                          b = name.find_last_not_of(" \t\r\n");
        if (a != std::string::npos && name.find_first_of("() \t\r\n\"", a) > b) return "";
    }
    AmiParameters parsed(text.c_str());
    return parsed.ok ? "" : ExplainParseFailure(text, parsed.resultCode);
}

std::string ReadAmiFile(const std::string& text, AmiFile& out) {
    const std::string clean = StripComments(text);
    AmiParameters parsed(clean.c_str());
    if (!parsed.ok) return ExplainParseFailure(clean, parsed.resultCode);
    const AmiBranch* root = ami_branch(parsed.tree->slots[0]);
    if (root == nullptr) return "the .ami file holds no parameter tree";
    out = AmiFile{};
    out.root = root->name;
    out.inputs.name = root->name;
    if (const AmiBranch* reserved = ChildBranch(root, "Reserved_Parameters")) {
        for (int c = 0; c < reserved->childCount; ++c) {
            const AmiBranch* sub = ami_branch(reserved->children[c]);
            if (sub == nullptr) continue;
            const AmiParameter p = Describe(sub, sub->name);
            out.reserved[p.name] = p.defaultValue;
        }
    }
    const AmiBranch* specific = ChildBranch(root, "Model_Specific");
    if (specific != nullptr) Collect(specific, "", out, out.inputs);
    return "";
}

std::vector<Issue> ApplyOverrides(AmiFile& file,
                                  const std::map<std::string, std::string>& overrides,
                                  bool strict) {
    std::vector<Issue> issues;
    for (const auto& [name, value] : overrides) {
        ParamNode* node = nullptr;
        AmiParameter* param = nullptr;
        for (AmiParameter& p : file.parameters) {
            if (p.path == name || p.name == name) {
                param = &p;
                node = FindNode(file.inputs, p.path);
                break;
            }
        }
        if (param == nullptr || node == nullptr) {
            issues.push_back({true, "unknown input parameter " + name});
            continue;
        }
        param->defaultValue = value;
        node->value = Quote(param->type, value);
    }
    for (const AmiParameter& p : file.parameters) {
        if (p.usage != "In" && p.usage != "InOut") continue;
        const std::string& v = p.defaultValue;
        const bool numeric =
            p.type == "Integer" || p.type == "Float" || p.type == "UI" || p.type == "Tap";
        double number = 0;
        if (numeric && (!ToNumber(v, number) || !std::isfinite(number))) {
            issues.push_back({true, p.path + " = " + v + " is not a finite number"});
            continue;
        }
        // Compared as doubles: no conversion of a value that may not fit.
        if (p.type == "Integer" &&
            (std::trunc(number) != number || std::fabs(number) > 9007199254740992.0)) {
            issues.push_back({true, p.path + " = " + v + " is not an integer (of at most 2^53)"});
            continue;
        }
        if (p.type == "Boolean" && v != "True" && v != "False") {
            issues.push_back({true, p.path + " = " + v + " is not a Boolean (True or False)"});
            continue;
        }
        if (!p.list.empty()) {
            bool found = false;
            for (const std::string& item : p.list) {
                double a = 0;
                found = found || item == v || (numeric && ToNumber(item, a) && a == number);
            }
            if (!found) {
                std::string allowed;
                for (const std::string& item : p.list)
                    allowed += (allowed.empty() ? "" : ", ") + item;
                issues.push_back(
                    {strict, p.path + " = " + v + " is not in its List (" + allowed + ")"});
            }
        }
        if (p.min && p.max && numeric && (number < *p.min || number > *p.max)) {
            issues.push_back({strict, p.path + " = " + v + " is outside its Range [" +
                                          FormatNumber(*p.min) + ", " + FormatNumber(*p.max) +
                                          "]"});
        }
    }
    return issues;
}

std::string BuildParameterString(const AmiFile& file) {
    std::ostringstream out;
    Write(file.inputs, out);
    return out.str();
}

}  // namespace amihost
