#include "ami_inputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "ami_explain.h"
#include "ami_file.h"
#include "ami_parameters.h"
#include "spelling.h"

namespace amihost {

namespace {

bool ToNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    return ami_number_value(text.c_str(), &value);
}

std::string Quote(const std::string& type, const std::string& value) {
    if (type == "String") return "\"" + value + "\"";
    return value;
}

AmiParameter Describe(const AmiFileParameter& d) {
    AmiParameter p;
    p.path = d.path;
    p.name = d.name;
    p.usage = d.usage ? d.usage->text : "";
    p.type = d.type ? d.type->text : "";
    p.description = d.description;
    p.defaultValue = d.SentValue();
    if (d.format == "List")
        for (const AmiFileValue& v : d.values) p.list.push_back(v.text);
    double lo = 0, hi = 0;
    if (d.Bounds(lo, hi)) {
        p.min = lo;
        p.max = hi;
    }
    return p;
}

// Whether an input has one value to send: not a Table, and a value (a
// String's may be empty).
bool Sendable(const AmiFileParameter& d, const AmiParameter& p) {
    return d.format != "Table" && (!p.defaultValue.empty() || p.type == "String");
}

// Collects the parameters below `group` and the tree of those to send.
void Collect(const AmiFileNode& group, AmiFile& file, ParamNode& node) {
    for (const AmiFileNode& sub : group.children) {
        if (sub.isParameter) {
            AmiParameter p = Describe(sub.parameter);
            const bool input = p.usage == "In" || p.usage == "InOut";
            if (input && !Sendable(sub.parameter, p)) {
                file.unsent.emplace_back(p.path, sub.parameter.format);
                continue;
            }
            if (input) {
                ParamNode leaf;
                leaf.name = p.name;
                leaf.value = Quote(p.type, p.defaultValue);
                leaf.leaf = true;
                node.children.push_back(leaf);
            }
            file.parameters.push_back(p);
        } else {
            ParamNode inner;
            inner.name = sub.name;
            Collect(sub, file, inner);
            if (!inner.children.empty()) node.children.push_back(inner);
        }
    }
}

// Whether the tool, not the file, gives a reserved input (AddToolInputs).
bool ToolGiven(const std::string& name) {
    return name == "DLL_Path" || name == "DLL_ID" || name == "DC_Offset";
}

// The reserved parameters of Usage In or InOut are sent as the model's own
// are, at the root, with the value the file gives them; one without one
// value to send is noted as the model's own are.
void SendReservedInputs(const AmiFileNode& reserved, AmiFile& file) {
    for (const AmiFileNode& sub : reserved.children) {
        const AmiParameter p = Describe(sub.parameter);
        if ((p.usage != "In" && p.usage != "InOut") || ToolGiven(p.name)) continue;
        if (!Sendable(sub.parameter, p)) {
            file.unsent.emplace_back(p.path, sub.parameter.format);
            continue;
        }
        ParamNode leaf;
        leaf.name = p.name;
        leaf.value = Quote(p.type, p.defaultValue);
        leaf.leaf = true;
        file.inputs.children.push_back(leaf);
        file.parameters.push_back(p);
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

std::string ExplainParseFailure(const std::string& text, int code) {
    return ami_explain_failure(text, code);
}

Status ParseParameterString(const std::string& text) {
    // A bare root, "(name)": what a simulator sends for an .ami file with no
    // input parameters (and so does this tool); the parser wants a leaf.
    const std::size_t open = text.find_first_not_of(" \t\r\n");
    const std::size_t close = text.find_last_not_of(" \t\r\n");
    if (open != std::string::npos && text[open] == '(' && text[close] == ')') {
        const std::string name = text.substr(open + 1, close - open - 1);
        const std::size_t a = name.find_first_not_of(" \t\r\n"),
                          b = name.find_last_not_of(" \t\r\n");
        if (a != std::string::npos && name.find_first_of("() \t\r\n\"", a) > b) return {};
    }
    AmiParameters parsed(text.c_str());
    if (parsed.ok) return {};
    return Error{ExplainParseFailure(text, parsed.resultCode)};
}

Expected<AmiFile> ReadAmiFile(const std::string& text) {
    tx::Expected<AmiFileContents> read = ami_read_file(text);
    if (!read) return Error{read.error(), read.kind()};
    const AmiFileContents& contents = *read;
    AmiFile out;
    out.root = contents.root;
    out.inputs.name = contents.root;
    if (contents.reserved)
        for (const AmiFileNode& p : contents.reserved->children) {
            out.reserved[p.name] = p.parameter.SentValue();
            if (p.parameter.type) out.reservedTypes[p.name] = p.parameter.type->text;
            if (p.parameter.usage) out.reservedUsages[p.name] = p.parameter.usage->text;
            if (!p.parameter.tableRows.empty()) out.reservedTables[p.name] = p.parameter.tableRows;
        }
    if (contents.reserved) SendReservedInputs(*contents.reserved, out);
    if (contents.modelSpecific) Collect(*contents.modelSpecific, out, out.inputs);
    return out;
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
            std::vector<std::string> known;
            for (const AmiParameter& p : file.parameters)
                if (p.usage == "In" || p.usage == "InOut") known.push_back(p.path);
            issues.push_back(
                {true, "unknown input parameter " + name + tx::DidYouMean(name, known)});
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

void AddToolInputs(AmiFile& file, const std::string& library, const std::string& instance,
                   double dcOffset) {
    std::error_code ec;
    const std::string folder =
        std::filesystem::absolute(library, ec).lexically_normal().parent_path().string();
    char offset[32];
    std::snprintf(offset, sizeof offset, "%.17g", dcOffset);
    for (const auto& given : {std::pair<std::string, std::string>{"DLL_Path", folder},
                              {"DLL_ID", instance},
                              {"DC_Offset", offset}}) {
        const std::string& name = given.first;
        const std::string& value = given.second;
        const auto usage = file.reservedUsages.find(name);
        if (usage == file.reservedUsages.end() ||
            (usage->second != "In" && usage->second != "InOut"))
            continue;
        // An AMI string holds no double quote: such a path is not sent.
        if (value.find('"') != std::string::npos) continue;
        auto& roots = file.inputs.children;
        roots.erase(std::remove_if(roots.begin(), roots.end(),
                                   [&](const ParamNode& n) { return n.leaf && n.name == name; }),
                    roots.end());
        ParamNode leaf;
        leaf.name = name;
        leaf.value = name == "DC_Offset" ? value : "\"" + value + "\"";
        leaf.leaf = true;
        roots.insert(roots.begin(), leaf);
    }
}

std::string BuildParameterString(const AmiFile& file) {
    std::ostringstream out;
    Write(file.inputs, out);
    return out.str();
}

}  // namespace amihost
