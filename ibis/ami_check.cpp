#include "ami_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <set>

#include "ami_file.h"
#include "ami_schema.h"
#include "messages.h"
#include "spelling.h"

namespace ibis {

namespace {

struct AmiChecker {
    std::string name;
    std::vector<Report>& reports;
    ReportCap& cap;
    int version = 0;  // the version the file declares, times ten; 0: unknown

    tx::Hints hints{};  // "did you mean", within the file's budget

    void Add(Message id, int line, const std::string& message) {
        cap.Add(reports, id, name, line, message);
    }
    std::string Hint(const std::string& word, const std::vector<std::string>& candidates) {
        return hints.DidYouMean(word, candidates);
    }
};

bool OfType(const std::string& type, const AmiFileValue& v) {
    if (type == "Integer") return v.type == AmiValueType::Integer;
    if (type == "Float" || type == "UI" || type == "Tap")
        return v.type == AmiValueType::Integer || v.type == AmiValueType::Float;
    if (type == "Boolean") return v.type == AmiValueType::Boolean;
    if (type == "String") return v.quoted;  // "7.0", "off": in double quotes
    return true;
}

std::string NotOfType(const std::string& type) {
    return " is not of Type " + type +
           (type == "String" ? " (a String is written in double quotes)" : "");
}

double ToDouble(const AmiFileValue& v) {
    double d = 0;
    ami_number_value(v.text.c_str(), &d);
    return d;
}

bool IsOneOf(const std::string& s, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (s == n) return true;
    return false;
}

std::string VersionText(int tenths) {
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// "Float UI" -> "Float or UI".
std::string Alternatives(const std::string& names) {
    std::string out;
    for (char ch : names) out += ch == ' ' ? std::string(" or ") : std::string(1, ch);
    return out;
}

// What an unknown entry of a parameter may have meant: the labels of a
// List's values are its List_Tip ("(Label ...)" beside a List is met in real
// files), else a known entry one slip away.
std::string LeafHint(AmiChecker& c, const std::string& leaf, const AmiFileParameter& p) {
    if (p.format == "List" && IsOneOf(leaf, {"Label", "Labels", "List_Tips", "Tip", "Tips"}))
        return "; did you mean List_Tip?";
    return c.Hint(
        leaf, {"Usage", "Type", "Format", "Default", "Description", "List_Tip", "Value", "Range",
               "List", "Corner", "Increment", "Steps", "Table", "Gaussian", "Dual-Dirac", "DjRj"});
}

// A Usage, Type, Default, Description, List_Tip or format given twice; a
// Usage, Type or Default of more than one value; a List_Tip without a List.
void CheckLeaves(AmiChecker& c, const AmiFileParameter& p) {
    std::map<std::string, int> seen;
    int formats = 0;
    for (std::size_t i = 0; i < p.leaves.size(); ++i) {
        const std::string& leaf = p.leaves[i];
        if (ami_is_format_name(leaf) || leaf == "Format") ++formats;
        if (IsOneOf(leaf, {"Usage", "Type", "Default", "Description", "List_Tip"}) &&
            ++seen[leaf] == 2)
            c.Add(Message::AmiDuplicate, p.line, p.name + " gives " + leaf + " twice");
        if (IsOneOf(leaf, {"Usage", "Type", "Default"}) && i < p.leafValues.size() &&
            p.leafValues[i] > 1)
            c.Add(Message::AmiValueCount, p.line,
                  p.name + " gives " + std::to_string(p.leafValues[i]) + " values to " + leaf +
                      ", which takes one");
    }
    if (p.listTips && p.format != "List")
        c.Add(Message::AmiValueCount, p.line,
              p.name + " has a List_Tip without a List: its tips name a List's values");
    if (formats > 1)
        c.Add(Message::AmiDuplicate, p.line,
              p.name + " gives " + std::to_string(formats) + " formats; a parameter has one");
    for (const std::string& leaf : p.leaves)
        if (!ami_is_format_name(leaf) &&
            !IsOneOf(leaf, {"Usage", "Type", "Format", "Default", "Description", "List_Tip"}))
            c.Add(Message::AmiUnknownLeaf, p.line,
                  p.name + " holds (" + leaf +
                      " ...), none of Usage, Type, a format, Default, Description, List_Tip" +
                      LeafHint(c, leaf, p));
}

// Amounts that cannot be below zero: a jitter's spread, a frequency, a
// resistance, a voltage swing or sensitivity, a noise level; the sigma of a
// Gaussian, Dual-Dirac or DjRj distribution; two levels of modulation or more.
void CheckReservedAmounts(AmiChecker& c, const AmiFileParameter& p,
                          const std::vector<const AmiFileValue*>& values) {
    static const std::set<std::string> kAmounts = {"Tx_DCD",
                                                   "Tx_Rj",
                                                   "Tx_Dj",
                                                   "Tx_Sj",
                                                   "Tx_Sj_Frequency",
                                                   "Rx_DCD",
                                                   "Rx_Rj",
                                                   "Rx_Dj",
                                                   "Rx_Sj",
                                                   "Rx_Clock_Recovery_Rj",
                                                   "Rx_Clock_Recovery_Dj",
                                                   "Rx_Clock_Recovery_Sj",
                                                   "Rx_Clock_Recovery_DCD",
                                                   "Rx_Receiver_Sensitivity",
                                                   "Rx_GaussianNoise",
                                                   "Rx_UniformNoise",
                                                   "Tx_V",
                                                   "Tx_R",
                                                   "Rx_R"};
    const bool distribution = IsOneOf(p.format, {"Gaussian", "Dual-Dirac", "DjRj"});
    if (distribution && !p.values.empty() && ToDouble(p.values.back()) < 0)
        c.Add(Message::AmiReservedValue, p.line,
              p.name + " (" + p.format + " ...): its sigma " + p.values.back().text +
                  " is below zero");
    // (DjRj minDj maxDj sigma): the deterministic part spreads from minDj to maxDj.
    if (p.format == "DjRj" && p.values.size() == 3 && ToDouble(p.values[0]) > ToDouble(p.values[1]))
        c.Add(Message::AmiReservedValue, p.line,
              p.name + " (DjRj ...): its minDj " + p.values[0].text + " is above its maxDj " +
                  p.values[1].text);
    if (!distribution && kAmounts.count(p.name))
        for (const AmiFileValue* v : values)
            if (v->type != AmiValueType::String && ToDouble(*v) < 0)
                c.Add(Message::AmiReservedValue, p.line,
                      p.name + " value " + v->text + " is below zero");
    if (p.name == "Modulation_Levels")
        for (const AmiFileValue* v : values)
            if (v->type == AmiValueType::Integer && ToDouble(*v) >= 0 && ToDouble(*v) < 2)
                c.Add(Message::AmiReservedValue, p.line,
                      "Modulation_Levels " + v->text + ": a modulation has two levels or more");
}

// What the standard allows a reserved parameter: its Usage, Type and values.
void CheckReservedDef(AmiChecker& c, const AmiFileParameter& p, const AmiReservedDef& d) {
    // A Dep value comes out of the model (from AMI_Resolve, 6.1) as an Out
    // value does (from AMI_Init): what may be Out may be Dep.
    const unsigned usages = (d.usages & kOut) != 0 ? d.usages | kDep : d.usages;
    if (p.usage && UsageBit(p.usage->text) != 0 && !(UsageBit(p.usage->text) & usages))
        c.Add(Message::AmiUsage, p.line,
              p.name + " has Usage " + p.usage->text + "; it must be " + UsageNames(usages));
    const std::string types = std::string(" ") + d.types + " ";
    if (p.type && *d.types != 0 && types.find(" " + p.type->text + " ") == std::string::npos)
        c.Add(Message::AmiType, p.line,
              p.name + " has Type " + p.type->text + "; it must be " + Alternatives(d.types));
    std::vector<const AmiFileValue*> values;
    for (const AmiFileValue& v : p.values) values.push_back(&v);
    if (p.defaultValue) values.push_back(&*p.defaultValue);
    const std::string allowed = d.values == nullptr ? "" : std::string(" ") + d.values + " ";
    for (const AmiFileValue* v : values) {
        if (d.values != nullptr && allowed.find(" " + v->text + " ") == std::string::npos)
            c.Add(Message::AmiReservedValue, p.line,
                  p.name + " value " + v->text + " is none of " + d.values);
        if (d.nonNegative && v->type == AmiValueType::Integer && ToDouble(*v) < 0)
            c.Add(Message::AmiReservedValue, p.line,
                  p.name + " value " + v->text + " is a count, not below zero");
    }
    CheckReservedAmounts(c, p, values);
}

// (Range|Increment|Steps typ min max ...): min not above max, typ between
// them. False when min is above max (nothing more can be said of the values).
bool CheckBounds(AmiChecker& c, const AmiFileParameter& p, const std::string& t) {
    const std::string& kind = p.format;
    if (!IsOneOf(kind, {"Range", "Increment", "Steps"}) || p.values.size() < 3) return true;
    for (std::size_t k = 0; k < 3; ++k)
        if (!OfType(t, p.values[k])) return true;
    const double typ = ToDouble(p.values[0]), lo = ToDouble(p.values[1]),
                 hi = ToDouble(p.values[2]);
    const std::string shown = "(" + kind + " " + p.values[0].text + " " + p.values[1].text + " " +
                              p.values[2].text + (kind == "Range" ? "" : " ...") + ")";
    const std::string fields = "(" + kind + " typ min max" + (kind == "Range" ? "" : " ...") + ")";
    if (lo > hi) {
        c.Add(Message::AmiFormat, p.line,
              p.name + " " + shown + ": its min " + p.values[1].text + " is above its max " +
                  p.values[2].text + " " + fields);
        return false;
    }
    if (typ < lo || typ > hi)
        c.Add(Message::AmiFormat, p.line,
              p.name + " " + shown + ": its typ " + p.values[0].text + " is outside [" +
                  p.values[1].text + ", " + p.values[2].text + "] " + fields);
    return true;
}

// (Increment typ min max delta) offers min, min + delta, ... up to max;
// (Steps typ min max n) the n + 1 values from min to max. A typ or Default
// between them is a value the model never offers.
void CheckOnGrid(AmiChecker& c, const AmiFileParameter& p, const AmiFileValue* v,
                 const char* what) {
    if (v == nullptr || !IsOneOf(p.format, {"Increment", "Steps"}) || p.values.size() != 4) return;
    double lo = 0, hi = 0;
    if (!p.Bounds(lo, hi) || !(hi > lo)) return;
    const double n = ToDouble(p.values[3]);
    const double step = p.format == "Increment" ? n : (hi - lo) / n;
    if (!(step > 0)) return;
    const double k = (ToDouble(*v) - lo) / step;
    if (std::fabs(k - std::round(k)) > 1e-6 * std::max(1.0, std::fabs(k)))
        c.Add(Message::AmiOffGrid, p.line,
              p.name + " " + what + " " + v->text + " is not one of the values (" + p.format +
                  " ...) offers: " + p.values[1].text + " and every " +
                  (p.format == "Increment" ? p.values[3].text : "step") + " up to " +
                  p.values[2].text);
}

// A List's values, its List_Tip's and a Table's rows: each value once, one
// tip per value, every row as wide as the Labels and of the parameter's Type.
void CheckListsAndTables(AmiChecker& c, const AmiFileParameter& p, const std::string& t) {
    if (p.format == "List") {
        std::set<std::string> seen;
        for (const AmiFileValue& v : p.values)
            if (!seen.insert(v.text).second)
                c.Add(Message::AmiListRepeated, p.line,
                      p.name + " lists " + v.text + " more than once");
        if (p.listTips && *p.listTips != p.values.size())
            c.Add(Message::AmiValueCount, p.line,
                  p.name + " has " + std::to_string(*p.listTips) + " List_Tip entries for " +
                      std::to_string(p.values.size()) + " List values; one tip a value");
    }
    if (p.format != "Table" || p.tableRows.empty()) return;
    const std::size_t width = p.tableLabels != 0 ? p.tableLabels : p.tableRows[0].size();
    const bool numeric = !t.empty() && t != "String" && t != "Boolean";
    for (const std::vector<std::string>& row : p.tableRows) {
        if (row.size() != width)
            c.Add(Message::AmiValueCount, p.line,
                  p.name + " (Table ...) has a row of " + std::to_string(row.size()) +
                      (row.size() == 1 ? " value where " : " values where ") +
                      (p.tableLabels != 0 ? "its Labels name " : "its first row has ") +
                      std::to_string(width));
        for (const std::string& cell : row)
            if (numeric && !OfType(t, AmiFileValue{cell, ami_value_type(cell.c_str())})) {
                c.Add(Message::AmiValueType, p.line,
                      p.name + " table value " + cell + " is not of Type " + t);
                break;
            }
    }
}

// Usage and Type: present and known. Returns the Type, empty without one.
std::string CheckUsageAndType(AmiChecker& c, const AmiFileParameter& p) {
    const std::string& pname = p.name;
    if (!p.usage) {
        c.Add(Message::AmiUsage, p.line, pname + " has no Usage");
    } else {
        const std::string& u = p.usage->text;
        if (!IsOneOf(u, {"In", "Out", "InOut", "Info", "Dep"}))
            c.Add(Message::AmiUsage, p.line,
                  pname + " has Usage " + u + "; it must be In, Out, InOut, Info or Dep" +
                      c.Hint(u, {"In", "Out", "InOut", "Info", "Dep"}));
        // A dependent parameter is resolved by AMI_Resolve (6.1).
        if (u == "Dep" && c.version != 0 && c.version < 61)
            c.Add(Message::AmiReservedNewer, p.line,
                  pname + " has Usage Dep, which came with AMI 6.1; the file declares " +
                      VersionText(c.version));
    }
    if (!p.type) {
        c.Add(Message::AmiType, p.line, pname + " has no Type");
        return "";
    }
    const std::string& t = p.type->text;
    if (!IsOneOf(t, {"Float", "Integer", "String", "Boolean", "Tap", "UI"}))
        c.Add(Message::AmiType, p.line,
              pname + " has Type " + t + ", which is not an AMI type" +
                  c.Hint(t, {"Float", "Integer", "String", "Boolean", "Tap", "UI"}));
    return t;
}

// The format's shape: its count of values, and the formats a Type or a
// reserved parameter allows.
void CheckFormatShape(AmiChecker& c, const AmiFileParameter& p, const std::string& t,
                      bool reserved) {
    const std::string& pname = p.name;
    const std::string& kind = p.format;
    std::vector<double> numbers;
    for (const AmiFileValue& v : p.values) numbers.push_back(ToDouble(v));
    if (const std::string fault = FormatCountFault(kind, numbers, p.values.size()); !fault.empty())
        c.Add(Message::AmiValueCount, p.line, pname + " " + fault);
    if (reserved && pname == "AMI_Version" && kind != "Value")
        c.Add(Message::AmiFormat, p.line, "AMI_Version has format " + kind + "; it must be Value");
    // Range, Increment and Steps bound numbers: strings and Booleans have no order.
    if ((t == "String" || t == "Boolean") && IsOneOf(kind, {"Range", "Increment", "Steps"}))
        c.Add(Message::AmiFormat, p.line,
              pname + " has format " + kind + ", which bounds numbers; Type " + t + " has none");
    // Tx_Jitter and Rx_Clock_PDF describe a distribution.
    if (reserved && (pname == "Tx_Jitter" || pname == "Rx_Clock_PDF") &&
        !IsOneOf(kind, {"Gaussian", "Dual-Dirac", "DjRj", "Table"}))
        c.Add(Message::AmiFormat, p.line,
              pname + " has format " + kind + "; it must be Gaussian, Dual-Dirac, DjRj or Table");
}

// A Default inside its Range, Increment or Steps, or among its List.
void CheckDefaultInside(AmiChecker& c, const AmiFileParameter& p, const AmiFileValue& dv,
                        bool numeric) {
    const std::string& kind = p.format;
    double lo = 0, hi = 0;
    if (numeric && IsOneOf(kind, {"Range", "Increment", "Steps"}) && p.Bounds(lo, hi)) {
        const double d = ToDouble(dv);
        if (d < lo || d > hi)
            c.Add(Message::AmiDefaultOutside, p.line,
                  p.name + " Default " + dv.text + " is outside its " + kind + " [" +
                      p.values[1].text + ", " + p.values[2].text + "]");
    } else if (kind == "List") {
        bool found = false;
        for (const AmiFileValue& v : p.values)
            found = found || v.text == dv.text || (numeric && ToDouble(v) == ToDouble(dv));
        if (!found)
            c.Add(Message::AmiDefaultOutside, p.line,
                  p.name + " Default " + dv.text + " is not in its List");
    }
}

// The values of a format other than Table, and the Default, against the Type.
void CheckValues(AmiChecker& c, const AmiFileParameter& p, const std::string& t) {
    const AmiFileValue* dv = p.defaultValue ? &*p.defaultValue : nullptr;
    for (const AmiFileValue& v : p.values)
        if (!OfType(t, v))
            c.Add(Message::AmiValueType, p.line, p.name + " value " + v.text + NotOfType(t));
    if (dv != nullptr && !OfType(t, *dv))
        c.Add(Message::AmiValueType, p.line, p.name + " Default " + dv->text + NotOfType(t));
    const bool numeric = t != "String" && t != "Boolean";
    if (numeric && !CheckBounds(c, p, t)) return;
    if (numeric) CheckOnGrid(c, p, p.values.empty() ? nullptr : &p.values[0], "typ");
    if (numeric && dv != nullptr && OfType(t, *dv)) CheckOnGrid(c, p, dv, "Default");
    if (dv != nullptr && OfType(t, *dv) && !p.values.empty())
        CheckDefaultInside(c, p, *dv, numeric);
}

void CheckParameter(AmiChecker& c, const AmiFileParameter& p, bool reserved) {
    CheckLeaves(c, p);
    const std::string t = CheckUsageAndType(c, p);
    if (const AmiReservedDef* d = reserved ? FindReserved(p.name) : nullptr)
        CheckReservedDef(c, p, *d);
    const AmiFileValue* dv = p.defaultValue ? &*p.defaultValue : nullptr;
    if (p.format.empty() || !ami_is_format_name(p.format)) {
        // From 5.1 a parameter gives "any of" a Default or a format: a
        // Default alone is a complete description.
        if (p.format.empty() && dv != nullptr) {
            if (!t.empty() && !OfType(t, *dv))
                c.Add(Message::AmiValueType, p.line,
                      p.name + " Default " + dv->text + NotOfType(t));
            return;
        }
        c.Add(Message::AmiFormat, p.line,
              p.name +
                  " has no format (Value, Range, List, Corner, Increment, Steps, Table, ...) and "
                  "no Default");
        return;
    }
    CheckFormatShape(c, p, t, reserved);
    CheckListsAndTables(c, p, t);
    if (!t.empty() && p.format != "Table") CheckValues(c, p, t);
}

// A name given twice in one branch.
void CheckNames(AmiChecker& c, const AmiFileNode& group) {
    std::set<std::string> names;
    for (const AmiFileNode& sub : group.children)
        if (!names.insert(sub.name).second)
            c.Add(Message::AmiDuplicate, sub.line, sub.name + " appears twice in " + group.name);
}

void CheckGroup(AmiChecker& c, const AmiFileNode& group) {
    CheckNames(c, group);
    for (const AmiFileNode& sub : group.children) {
        if (sub.isParameter) {
            if (FindReserved(sub.name) != nullptr)
                c.Add(Message::AmiReservedName, sub.line,
                      sub.name +
                          " is a reserved parameter's name; it belongs in "
                          "Reserved_Parameters");
            CheckParameter(c, sub.parameter, false);
        } else {
            CheckGroup(c, sub);
        }
    }
}

const AmiFileNode* Child(const AmiFileNode& group, const char* name) {
    for (const AmiFileNode& sub : group.children)
        if (sub.name == name) return &sub;
    return nullptr;
}

// The version a file declares: its AMI_Version's value ("7.1" -> 71), else
// the [IBIS Ver] of the .ibs that names it; 0 when neither is known.
int DeclaredVersion(const AmiFileNode& reserved, int ibisVersion) {
    const AmiFileNode* node = Child(reserved, "AMI_Version");
    if (node == nullptr || node->parameter.values.empty()) return ibisVersion;
    const std::string& text = node->parameter.values[0].text;
    std::string digits;
    for (char ch : text)
        if (ch >= '0' && ch <= '9') digits += ch;
    if (digits.size() != 2 || text.find('.') == std::string::npos) return ibisVersion;
    return std::stoi(digits);
}

void CheckReservedBranch(AmiChecker& c, const AmiFileNode& reserved, AmiCalls* calls,
                         int ibisVersion) {
    CheckNames(c, reserved);
    for (const char* required : {"Init_Returns_Impulse", "GetWave_Exists"}) {
        if (Child(reserved, required) == nullptr)
            c.Add(Message::AmiReservedMissing, reserved.line,
                  std::string("Reserved_Parameters has no ") + required);
    }
    // AMI_Version: required from IBIS 5.1 (not in 5.0), as Usage Info,
    // Type String, Format Value (checked with the parameter).
    if (Child(reserved, "AMI_Version") == nullptr && (ibisVersion == 0 || ibisVersion >= 51))
        c.Add(Message::AmiReservedMissing, reserved.line, "Reserved_Parameters has no AMI_Version");
    const AmiFileNode* impulseNode = Child(reserved, "Init_Returns_Impulse");
    const AmiFileNode* waveNode = Child(reserved, "GetWave_Exists");
    // A Boolean's value: its Value, else its Default; a value that is
    // neither True nor False is reported as such with the parameter,
    // and then says nothing of what the model does.
    bool known = true;
    auto boolean = [&known](const AmiFileNode* n, bool fallback) {
        if (n == nullptr) return fallback;
        const AmiFileParameter& p = n->parameter;
        const std::string* value = nullptr;
        if (p.format == "Value" && !p.values.empty())
            value = &p.values[0].text;
        else if (p.defaultValue)
            value = &p.defaultValue->text;
        // A format that offers more than one value (a List, a Corner) without
        // a Default does not say which the model is.
        if (value == nullptr) {
            known = false;
            return fallback;
        }
        if (*value != "True" && *value != "False") known = false;
        return *value == "True";
    };
    const bool impulse = boolean(impulseNode, true), wave = boolean(waveNode, false);
    if (calls != nullptr) {
        calls->getWave = wave || waveNode == nullptr;
        const AmiFileNode* resolveNode = Child(reserved, "Resolve_Exists");
        calls->resolve = resolveNode != nullptr && resolveNode->parameter.SentValue() == "True";
    }
    if (impulseNode != nullptr && waveNode != nullptr && known && !impulse && !wave)
        c.Add(Message::AmiDoesNothing, impulseNode->line,
              "Init_Returns_Impulse False with GetWave_Exists False");
    const int version = c.version;
    for (const AmiFileNode& sub : reserved.children) {
        const AmiReservedDef* d = FindReserved(sub.name);
        if (d == nullptr)
            c.Add(Message::AmiUnknownReserved, sub.line,
                  sub.name + " is not a reserved parameter" + c.Hint(sub.name, ReservedNames()));
        else if (version != 0 && d->since > version)
            c.Add(Message::AmiReservedNewer, sub.line,
                  sub.name + " came with AMI " + VersionText(d->since) + "; the file declares " +
                      VersionText(version));
        else if (version >= 60 && sub.name == "Use_Init_Output")
            c.Add(Message::AmiReservedNewer, sub.line,
                  "Use_Init_Output is deprecated from AMI 6.0; the file declares " +
                      VersionText(version));
        CheckParameter(c, sub.parameter, true);
    }
}

// A transmitter's parameters (Tx_...) describe a transmitter, a receiver's
// (Rx_...) a receiver: one of the other side's in a file the .ibs gives to
// one side describes nothing the simulator will use.
void CheckSide(AmiChecker& c, const AmiFileNode& reserved, AmiSide side) {
    if (side == AmiSide::Either) return;
    const char* other = side == AmiSide::Tx ? "Rx_" : "Tx_";
    for (const AmiFileNode& sub : reserved.children)
        if (sub.name.rfind(other, 0) == 0 && FindReserved(sub.name) != nullptr)
            c.Add(Message::AmiOtherSide, sub.line,
                  sub.name + " is a " + (side == AmiSide::Tx ? "receiver" : "transmitter") +
                      "'s parameter, in the .ami of a " +
                      (side == AmiSide::Tx ? "transmitter" : "receiver"));
}

// The first parameter of Usage Dep below a group, or null.
const AmiFileNode* FirstDep(const AmiFileNode& group) {
    for (const AmiFileNode& sub : group.children) {
        if (sub.isParameter && sub.parameter.usage && sub.parameter.usage->text == "Dep")
            return &sub;
        if (!sub.isParameter)
            if (const AmiFileNode* dep = FirstDep(sub)) return dep;
    }
    return nullptr;
}

// What a reserved parameter sends (its Default, else its first value);
// empty when the branch lacks it.
std::string Sent(const AmiFileNode* reserved, const char* name) {
    const AmiFileNode* node = reserved != nullptr ? Child(*reserved, name) : nullptr;
    return node != nullptr ? node->parameter.SentValue() : std::string();
}

// Parameters that mean something only beside another: a Dep parameter's
// value comes from AMI_Resolve, which a model offers by Resolve_Exists
// True; a PAM signal's number of levels is its Modulation_Levels, which
// NRZ (two levels) and PAM4 (four) fix themselves.
void CheckCompanions(AmiChecker& c, const AmiFileContents& file) {
    const AmiFileNode* reserved = file.reserved ? &*file.reserved : nullptr;
    const AmiFileNode* dep = file.modelSpecific ? FirstDep(*file.modelSpecific) : nullptr;
    if (dep == nullptr && reserved != nullptr) dep = FirstDep(*reserved);
    if (dep != nullptr && Sent(reserved, "Resolve_Exists") != "True")
        c.Add(Message::AmiCompanion, dep->line,
              dep->name + " has Usage Dep without Resolve_Exists True: no AMI_Resolve sets it");
    if (reserved == nullptr) return;
    const std::string modulation = Sent(reserved, "Modulation");
    const AmiFileNode* levels = Child(*reserved, "Modulation_Levels");
    if (modulation == "PAM" && levels == nullptr)
        c.Add(Message::AmiCompanion, Child(*reserved, "Modulation")->line,
              "Modulation PAM without Modulation_Levels: the number of levels is not given");
    const std::string count = levels != nullptr ? levels->parameter.SentValue() : "";
    const char* fixed = modulation == "PAM4" ? "4" : modulation == "PAM" ? nullptr : "2";
    if (levels != nullptr && fixed != nullptr && !count.empty() && count != fixed)
        c.Add(Message::AmiCompanion, levels->line,
              "Modulation_Levels " + count + " with Modulation " +
                  (modulation.empty() ? std::string("NRZ (no Modulation)") : modulation) +
                  ", which has " + fixed + " levels");
}

// The root holds Reserved_Parameters, Model_Specific and a Description.
void CheckRootEntries(AmiChecker& c, const AmiFileContents& file) {
    for (const auto& [name, line] : file.others) {
        if (name == "Description") continue;
        if (name == "Reserved_Parameters" || name == "Model_Specific")
            c.Add(Message::AmiDuplicate, line,
                  name + " appears twice below the root; a simulator reads the first");
        else
            c.Add(Message::AmiRootEntry, line,
                  name + " stands at the root, outside Reserved_Parameters and Model_Specific");
    }
}

}  // namespace

void CheckAmiText(const std::string& name, const std::string& text, std::vector<Report>& reports,
                  AmiCalls* calls, int ibisVersion, ReportCap* cap, AmiSide side) {
    ReportCap keepAll;
    AmiChecker c{name, reports, cap != nullptr ? *cap : keepAll};
    if (calls != nullptr) *calls = AmiCalls{};
    tx::Expected<AmiFileContents> read = ami_read_file(text);
    if (!read) {
        // "line 12: ..." places the report on that line.
        const std::string& why = read.error();
        const int at = why.rfind("line ", 0) == 0 ? std::atoi(why.c_str() + 5) : 0;
        c.Add(Message::AmiParse, at > 0 ? at : 1, "the file does not parse: " + why);
        return;
    }
    const AmiFileContents& file = *read;
    const std::string stem = std::filesystem::path(name).stem().string();
    if (file.root.empty())
        c.Add(Message::AmiRootUnnamed, file.rootLine, "the root has no name");
    else if (stem != file.root)
        c.Add(Message::AmiRootName, file.rootLine,
              "the root is named " + file.root + ", the file " + stem);
    c.version = file.reserved ? DeclaredVersion(*file.reserved, ibisVersion) : ibisVersion;
    if (!file.reserved)
        c.Add(Message::AmiNoReserved, file.rootLine, "no Reserved_Parameters branch");
    else
        CheckReservedBranch(c, *file.reserved, calls, ibisVersion);
    if (file.reserved) CheckSide(c, *file.reserved, side);
    if (!file.modelSpecific) {
        c.Add(Message::AmiNoModelSpecific, file.rootLine, "no Model_Specific branch");
    } else {
        CheckGroup(c, *file.modelSpecific);
    }
    CheckCompanions(c, file);
    CheckRootEntries(c, file);
}

}  // namespace ibis
