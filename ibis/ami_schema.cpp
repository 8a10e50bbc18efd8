#include "ami_schema.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

namespace ibis {

namespace {

constexpr unsigned kInfoOut = kInfo | kOut;
constexpr const char* kJitter = "Float UI";

// clang-format off
const AmiReservedDef kReserved[] = {
    {"AMI_Version", kInfo, "String", "5.1 6.0 6.1 7.0 7.1 7.2", false, 51},
    {"Init_Returns_Impulse", kInfo, "Boolean", nullptr, false, 50},
    {"GetWave_Exists", kInfo, "Boolean", nullptr, false, 50},
    {"Use_Init_Output", kInfo, "Boolean", nullptr, false, 50},
    {"Max_Init_Aggressors", kInfo, "Integer", nullptr, true, 50},
    {"Ignore_Bits", kInfo, "Integer", nullptr, true, 50},
    {"Resolve_Exists", kInfo, "Boolean", nullptr, false, 61},
    {"Model_Name", kAnyUsage, "String", nullptr, false, 50},
    {"Special_Param_Names", kAnyUsage, "String", nullptr, false, 50},
    {"Tx_Jitter", kInfoOut, kJitter, nullptr, false, 50},
    {"Tx_DCD", kInfoOut, kJitter, nullptr, false, 50},
    {"Tx_Rj", kInfoOut, kJitter, nullptr, false, 50},
    {"Tx_Dj", kInfoOut, kJitter, nullptr, false, 50},
    {"Tx_Sj", kInfoOut, kJitter, nullptr, false, 50},
    {"Tx_Sj_Frequency", kInfoOut, "Float", nullptr, false, 50},
    {"Rx_DCD", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Rj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Dj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Sj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_PDF", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_Recovery_Mean", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_Recovery_Rj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_Recovery_Dj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_Recovery_Sj", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Clock_Recovery_DCD", kInfoOut, kJitter, nullptr, false, 50},
    {"Rx_Receiver_Sensitivity", kInfoOut, "Float", nullptr, false, 50},
    {"Rx_Noise", kInfoOut, "Float", nullptr, false, 50},
    {"Rx_GaussianNoise", kInfoOut, "Float", nullptr, false, 50},
    {"Rx_UniformNoise", kInfoOut, "Float", nullptr, false, 50},
    {"Rx_Decision_Time", kAnyUsage, kJitter, nullptr, false, 50},
    {"DC_Offset", kAnyUsage, "Float", nullptr, false, 71},
    {"Modulation", kInfo, "String", "NRZ PAM4 PAM", false, 61},
    {"Modulation_Levels", kInfo, "Integer", nullptr, true, 50},
    {"PAM4_Mapping", kAnyUsage, "String", nullptr, false, 61},
    {"PAM4_UpperThreshold", kAnyUsage, "Float", nullptr, false, 61},
    {"PAM4_CenterThreshold", kAnyUsage, "Float", nullptr, false, 61},
    {"PAM4_LowerThreshold", kAnyUsage, "Float", nullptr, false, 61},
    {"PAM_Thresholds", kAnyUsage, "Float", nullptr, false, 50},
    {"PAM_Offsets", kAnyUsage, "Float", nullptr, false, 50},
    {"Rx_Use_Clock_Input", kInfo, "String", "None Times Wave", false, 50},
    {"Supporting_Files", kInfo, "String", nullptr, false, 60},
    {"DLL_Path", kIn, "String", nullptr, false, 60},
    {"DLL_ID", kIn, "String", nullptr, false, 60},
    {"Ts4file", kAnyUsage, "String", nullptr, false, 70},
    {"Ts4file_Path", kAnyUsage, "String", nullptr, false, 70},
    {"Tx_V", kAnyUsage, "Float", nullptr, false, 70},
    {"Tx_R", kAnyUsage, "Float", nullptr, false, 70},
    {"Rx_R", kAnyUsage, "Float", nullptr, false, 70},
    {"Repeater_Type", kInfo, "String", "Redriver Retimer", false, 50},
    {"BCI_Protocol", kAnyUsage, "", nullptr, false, 70},
    {"BCI_ID", kAnyUsage, "", nullptr, false, 70},
    {"BCI_State", kAnyUsage, "", nullptr, false, 70},
    {"BCI_Message_Interval_UI", kAnyUsage, "", nullptr, false, 70},
    {"BCI_Training_UI", kAnyUsage, "", nullptr, false, 70},
    {"BCI_Training_Mode", kAnyUsage, "", nullptr, false, 70},
    {"Component_Name", kAnyUsage, "", nullptr, false, 50},
    {"Crosstalk_Path", kAnyUsage, "", nullptr, false, 50},
};
// clang-format on

}  // namespace

const AmiReservedDef* FindReserved(const std::string& name) {
    // Asked of every parameter of a file: an index, built once.
    static const std::unordered_map<std::string, const AmiReservedDef*> kIndex = [] {
        std::unordered_map<std::string, const AmiReservedDef*> index;
        for (const AmiReservedDef& d : kReserved) index.emplace(d.name, &d);
        return index;
    }();
    const auto found = kIndex.find(name);
    return found == kIndex.end() ? nullptr : found->second;
}

const std::vector<std::string>& ReservedNames() {
    static const std::vector<std::string> kNames = [] {
        std::vector<std::string> out;
        for (const AmiReservedDef& d : kReserved) out.emplace_back(d.name);
        return out;
    }();
    return kNames;
}

unsigned UsageBit(const std::string& u) {
    return u == "Info"    ? kInfo
           : u == "In"    ? kIn
           : u == "Out"   ? kOut
           : u == "InOut" ? kInOut
           : u == "Dep"   ? kDep
                          : 0u;
}

std::string UsageNames(unsigned usages) {
    static const char* kNames[] = {"Info", "In", "Out", "InOut", "Dep"};
    std::string out;
    for (int b = 0; b < 5; ++b)
        if (usages & (1u << b)) out += std::string(out.empty() ? "" : " or ") + kNames[b];
    return out;
}

std::string FormatCountFault(const std::string& format, const std::vector<double>& numbers,
                             std::size_t count) {
    struct Shape {
        const char* format;
        std::size_t count;
        const char* fields;
    };
    static const Shape kShapes[] = {{"Value", 1, "one value"},
                                    {"Range", 3, "typ, min and max"},
                                    {"Corner", 3, "typ, slow and fast"},
                                    {"Increment", 4, "typ, min, max and delta"},
                                    {"Steps", 4, "typ, min, max and the number of steps"},
                                    {"Gaussian", 2, "mean and sigma"},
                                    {"Dual-Dirac", 3, "mean1, mean2 and sigma"},
                                    {"DjRj", 3, "minDj, maxDj and sigma"}};
    if (format == "List") return count == 0 ? "a List holds one value or more" : "";
    for (const Shape& s : kShapes) {
        if (format != s.format) continue;
        if (count != s.count)
            return "(" + format + " ...) holds " + s.fields + ", not " + std::to_string(count) +
                   " value" + (count == 1 ? "" : "s");
        if ((format == "Increment" || format == "Steps") && numbers.size() == 4 &&
            !(numbers[3] > 0))
            return "(" + format + " ...): its " +
                   (format == "Steps" ? "number of steps" : "delta") + " is not above zero";
        if (format == "Steps" && numbers.size() == 4 && numbers[3] != std::floor(numbers[3]))
            return "(Steps ...): its number of steps is not a whole number";
        return "";
    }
    return "";
}

}  // namespace ibis
