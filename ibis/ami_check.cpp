#include "ami_check.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "ami_explain.h"
#include "ami_parameters.h"

namespace ibis {

namespace {

struct AmiChecker {
    std::string name, text;
    std::vector<Report>& reports;

    void Add(Message id, int line, const std::string& message) {
        reports.push_back(MakeReport(id, name, line, message));
    }
    // The line of the first "(name" in the text, for a report's place.
    int LineOf(const std::string& what) const {
        std::size_t at = text.find("(" + what);
        while (at != std::string::npos) {
            const char next = at + 1 + what.size() < text.size() ? text[at + 1 + what.size()] : ' ';
            if (next == ' ' || next == '\t' || next == '\n' || next == '\r' || next == '(' ||
                next == ')')
                break;
            at = text.find("(" + what, at + 1);
        }
        if (at == std::string::npos) return 1;
        int line = 1;
        for (std::size_t k = 0; k < at; ++k) line += text[k] == '\n';
        return line;
    }
};

const AmiLeaf* ChildLeaf(const AmiBranch* b, const char* n) {
    for (int c = 0; c < b->childCount; ++c) {
        const AmiLeaf* l = ami_leaf(b->children[c]);
        if (l != nullptr && std::strcmp(l->name, n) == 0) return l;
    }
    return nullptr;
}
const AmiBranch* ChildBranch(const AmiBranch* b, const char* n) {
    for (int c = 0; c < b->childCount; ++c) {
        const AmiBranch* s = ami_branch(b->children[c]);
        if (s != nullptr && std::strcmp(s->name, n) == 0) return s;
    }
    return nullptr;
}

bool OfType(const std::string& type, const AmiValue& v) {
    if (type == "Integer") return v.type == AmiValueType::Integer;
    if (type == "Float" || type == "UI" || type == "Tap")
        return v.type == AmiValueType::Integer || v.type == AmiValueType::Float;
    if (type == "Boolean") return v.type == AmiValueType::Boolean;
    return true;  // String: anything
}

double ToDouble(const AmiValue& v) {
    double d = 0;
    ami_number_value(v.text, &d);
    return d;
}

const std::set<std::string> kFormats = {"Value", "Range", "List",     "Corner",     "Increment",
                                        "Steps", "Table", "Gaussian", "Dual-Dirac", "DjRj"};

void CheckParameter(AmiChecker& c, const AmiBranch* p, bool reserved) {
    const std::string pname = p->name;
    const int line = c.LineOf(pname);
    const AmiLeaf* usage = ChildLeaf(p, "Usage");
    const AmiLeaf* type = ChildLeaf(p, "Type");
    if (usage == nullptr || usage->valueCount < 1) {
        c.Add(Message::AmiUsage, line, pname + " has no Usage");
    } else {
        const std::string u = usage->values[0].text;
        static const std::set<std::string> kUsages = {"In", "Out", "InOut", "Info", "Dep"};
        if (!kUsages.count(u))
            c.Add(Message::AmiUsage, line,
                  pname + " has Usage " + u + "; it must be In, Out, InOut, Info or Dep");
        if (reserved &&
            (pname == "Init_Returns_Impulse" || pname == "GetWave_Exists" ||
             pname == "AMI_Version" || pname == "Ignore_Bits" || pname == "Max_Init_Aggressors") &&
            u != "Info")
            c.Add(Message::AmiUsage, line, pname + " has Usage " + u + "; it must be Info");
    }
    std::string t;
    if (type == nullptr || type->valueCount < 1) {
        c.Add(Message::AmiType, line, pname + " has no Type");
    } else {
        t = type->values[0].text;
        static const std::set<std::string> kTypes = {"Float",   "Integer", "String",
                                                     "Boolean", "Tap",     "UI"};
        if (!kTypes.count(t))
            c.Add(Message::AmiType, line, pname + " has Type " + t + ", which is not an AMI type");
        if (reserved && (pname == "Init_Returns_Impulse" || pname == "GetWave_Exists") &&
            t != "Boolean")
            c.Add(Message::AmiType, line, pname + " has Type " + t + "; it must be Boolean");
        if (reserved && (pname == "Ignore_Bits" || pname == "Max_Init_Aggressors") &&
            t != "Integer")
            c.Add(Message::AmiType, line, pname + " has Type " + t + "; it must be Integer");
    }
    // The format: a (Format X ...) leaf, or X as a leaf of its own.
    const AmiLeaf* format = ChildLeaf(p, "Format");
    std::string kind;
    std::vector<const AmiValue*> values;
    if (format != nullptr && format->valueCount > 0) {
        kind = format->values[0].text;
        for (int v = 1; v < format->valueCount; ++v) values.push_back(&format->values[v]);
    } else {
        for (const std::string& f : kFormats) {
            if (const AmiLeaf* leaf = ChildLeaf(p, f.c_str())) {
                kind = f;
                for (int v = 0; v < leaf->valueCount; ++v) values.push_back(&leaf->values[v]);
                break;
            }
        }
    }
    if (kind.empty() || !kFormats.count(kind)) {
        // From 5.1 a parameter gives "any of" a Default or a format: a
        // Default alone is a complete description.
        const AmiLeaf* alone = ChildLeaf(p, "Default");
        if (kind.empty() && alone != nullptr && alone->valueCount > 0) {
            if (!t.empty() && !OfType(t, alone->values[0]))
                c.Add(Message::AmiValueType, line,
                      pname + " Default " + alone->values[0].text + " is not of Type " + t);
            return;
        }
        c.Add(Message::AmiFormat, line,
              pname +
                  " has no format (Value, Range, List, Corner, Increment, Steps, Table, ...) and "
                  "no Default");
        return;
    }
    if (reserved && pname == "AMI_Version" && kind != "Value")
        c.Add(Message::AmiFormat, line, "AMI_Version has format " + kind + "; it must be Value");
    if (t.empty() || kind == "Table") return;
    for (const AmiValue* v : values)
        if (!OfType(t, *v))
            c.Add(Message::AmiValueType, line,
                  pname + " value " + v->text + " is not of Type " + t);
    const AmiLeaf* def = ChildLeaf(p, "Default");
    const AmiValue* dv = def != nullptr && def->valueCount > 0 ? &def->values[0] : nullptr;
    if (dv != nullptr && !OfType(t, *dv))
        c.Add(Message::AmiValueType, line, pname + " Default " + dv->text + " is not of Type " + t);
    if (dv == nullptr || !OfType(t, *dv) || values.empty()) return;
    const bool numeric = t != "String" && t != "Boolean";
    if (kind == "Range" && numeric && values.size() >= 3) {
        const double lo = ToDouble(*values[1]), hi = ToDouble(*values[2]), d = ToDouble(*dv);
        if (d < lo || d > hi)
            c.Add(Message::AmiDefaultOutside, line,
                  pname + " Default " + dv->text + " is outside its Range [" + values[1]->text +
                      ", " + values[2]->text + "]");
    } else if (kind == "List") {
        bool found = false;
        for (std::size_t v = 0; v < values.size(); ++v)
            found = found || std::strcmp(values[v]->text, dv->text) == 0 ||
                    (numeric && ToDouble(*values[v]) == ToDouble(*dv));
        if (!found)
            c.Add(Message::AmiDefaultOutside, line,
                  pname + " Default " + dv->text + " is not in its List");
    }
}

void CheckBranch(AmiChecker& c, const AmiBranch* b) {
    for (int k = 0; k < b->childCount; ++k) {
        const AmiBranch* sub = ami_branch(b->children[k]);
        if (sub == nullptr) continue;
        if (ChildLeaf(sub, "Usage") != nullptr || ChildLeaf(sub, "Type") != nullptr) {
            CheckParameter(c, sub, false);
        } else {
            CheckBranch(c, sub);  // a group of parameters
        }
    }
}

}  // namespace

void CheckAmiText(const std::string& name, const std::string& text, std::vector<Report>& reports,
                  bool* getWave, int ibisVersion) {
    AmiChecker c{name, text, reports};
    if (getWave != nullptr) *getWave = true;
    const std::string clean = ami_strip_comments(text);
    const AmiParameters parsed(clean.c_str());
    if (!parsed.ok) {
        c.Add(Message::AmiParse, 1,
              "the file does not parse: " + ami_explain_failure(clean, parsed.resultCode));
        return;
    }
    const AmiBranch* root = ami_branch(parsed.tree->slots[0]);
    if (root == nullptr) {
        c.Add(Message::AmiParse, 1, "the file holds no parameter tree");
        return;
    }
    const std::string stem = std::filesystem::path(name).stem().string();
    if (stem != root->name)
        c.Add(Message::AmiRootName, c.LineOf(root->name),
              "the root is named " + std::string(root->name) + ", the file " + stem);
    const AmiBranch* reserved = ChildBranch(root, "Reserved_Parameters");
    if (reserved == nullptr) {
        c.Add(Message::AmiNoReserved, c.LineOf(root->name), "no Reserved_Parameters branch");
    } else {
        static const std::set<std::string> kKnown = {"AMI_Version",
                                                     "Init_Returns_Impulse",
                                                     "GetWave_Exists",
                                                     "Use_Init_Output",
                                                     "Max_Init_Aggressors",
                                                     "Ignore_Bits",
                                                     "Resolve_Exists",
                                                     "Model_Name",
                                                     "Special_Param_Names",
                                                     "Tx_Jitter",
                                                     "Tx_DCD",
                                                     "Tx_Rj",
                                                     "Tx_Dj",
                                                     "Tx_Sj",
                                                     "Tx_Sj_Frequency",
                                                     "Rx_DCD",
                                                     "Rx_Rj",
                                                     "Rx_Dj",
                                                     "Rx_Sj",
                                                     "Rx_Clock_PDF",
                                                     "Rx_Clock_Recovery_Mean",
                                                     "Rx_Clock_Recovery_Rj",
                                                     "Rx_Clock_Recovery_Dj",
                                                     "Rx_Clock_Recovery_Sj",
                                                     "Rx_Clock_Recovery_DCD",
                                                     "Rx_Receiver_Sensitivity",
                                                     "Rx_Noise",
                                                     "Rx_GaussianNoise",
                                                     "Rx_UniformNoise",
                                                     "Modulation",
                                                     "PAM4_Mapping",
                                                     "PAM4_UpperThreshold",
                                                     "PAM4_CenterThreshold",
                                                     "PAM4_LowerThreshold",
                                                     "PAM_Thresholds",
                                                     "PAM_Offsets",
                                                     "Modulation_Levels",
                                                     "Rx_Use_Clock_Input",
                                                     "Supporting_Files",
                                                     "DLL_Path",
                                                     "DLL_ID",
                                                     "Ts4file",
                                                     "Repeater_Type",
                                                     "BCI_Protocol",
                                                     "BCI_ID",
                                                     "BCI_State",
                                                     "BCI_Message_Interval_UI",
                                                     "BCI_Training_UI",
                                                     "BCI_Training_Mode",
                                                     "Tx_V",
                                                     "Tx_R",
                                                     "Rx_R",
                                                     "Component_Name",
                                                     "Ts4file_Path",
                                                     "Rx_Decision_Time",
                                                     "Tx_Sj_Frequency",
                                                     "Crosstalk_Path"};
        for (const char* required : {"Init_Returns_Impulse", "GetWave_Exists"}) {
            if (ChildBranch(reserved, required) == nullptr)
                c.Add(Message::AmiReservedMissing, c.LineOf("Reserved_Parameters"),
                      std::string("Reserved_Parameters has no ") + required);
        }
        // AMI_Version: required from IBIS 5.1 (not in 5.0), as Usage Info,
        // Type String, Format Value.
        const AmiBranch* amiVersion = ChildBranch(reserved, "AMI_Version");
        if (amiVersion == nullptr && (ibisVersion == 0 || ibisVersion >= 51))
            c.Add(Message::AmiReservedMissing, c.LineOf("Reserved_Parameters"),
                  "Reserved_Parameters has no AMI_Version");
        if (amiVersion != nullptr) {
            const AmiLeaf* type = ChildLeaf(amiVersion, "Type");
            if (type != nullptr && type->valueCount > 0 &&
                std::string(type->values[0].text) != "String")
                c.Add(Message::AmiType, c.LineOf("AMI_Version"),
                      std::string("AMI_Version has Type ") + type->values[0].text +
                          "; it must be String");
        }
        auto boolean = [&](const char* n, bool fallback) {
            const AmiBranch* b = ChildBranch(reserved, n);
            if (b == nullptr) return fallback;
            const AmiLeaf* v = ChildLeaf(b, "Value");
            if (v == nullptr) v = ChildLeaf(b, "Default");
            return v != nullptr && v->valueCount > 0 ? std::strcmp(v->values[0].text, "True") == 0
                                                     : fallback;
        };
        const bool impulse = boolean("Init_Returns_Impulse", true),
                   wave = boolean("GetWave_Exists", false);
        if (getWave != nullptr)
            *getWave = wave || ChildBranch(reserved, "GetWave_Exists") == nullptr;
        if (ChildBranch(reserved, "Init_Returns_Impulse") != nullptr &&
            ChildBranch(reserved, "GetWave_Exists") != nullptr && !impulse && !wave)
            c.Add(Message::AmiDoesNothing, c.LineOf("Init_Returns_Impulse"),
                  "Init_Returns_Impulse False with GetWave_Exists False");
        for (int k = 0; k < reserved->childCount; ++k) {
            const AmiBranch* sub = ami_branch(reserved->children[k]);
            if (sub == nullptr) continue;
            if (!kKnown.count(sub->name))
                c.Add(Message::AmiUnknownReserved, c.LineOf(sub->name),
                      std::string(sub->name) + " is not a reserved parameter");
            CheckParameter(c, sub, true);
        }
    }
    const AmiBranch* specific = ChildBranch(root, "Model_Specific");
    if (specific == nullptr) {
        c.Add(Message::AmiNoModelSpecific, c.LineOf(root->name), "no Model_Specific branch");
    } else {
        CheckBranch(c, specific);
    }
}

}  // namespace ibis
