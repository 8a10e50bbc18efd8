#include "ami_schema.h"

#include <cmath>
#include <cstring>

namespace ibis {

namespace {

constexpr unsigned kInfoOut = kInfo | kOut;
constexpr const char* kJitter = "Float UI";

// clang-format off
const AmiReservedDef kReserved[] = {
    {"AMI_Version", kInfo, "String", "5.1 6.0 6.1 7.0 7.1 7.2", false},
    {"Init_Returns_Impulse", kInfo, "Boolean", nullptr, false},
    {"GetWave_Exists", kInfo, "Boolean", nullptr, false},
    {"Use_Init_Output", kInfo, "Boolean", nullptr, false},
    {"Max_Init_Aggressors", kInfo, "Integer", nullptr, true},
    {"Ignore_Bits", kInfo, "Integer", nullptr, true},
    {"Resolve_Exists", kInfo, "Boolean", nullptr, false},
    {"Model_Name", kAnyUsage, "String", nullptr, false},
    {"Special_Param_Names", kAnyUsage, "String", nullptr, false},
    {"Tx_Jitter", kInfoOut, kJitter, nullptr, false},
    {"Tx_DCD", kInfoOut, kJitter, nullptr, false},
    {"Tx_Rj", kInfoOut, kJitter, nullptr, false},
    {"Tx_Dj", kInfoOut, kJitter, nullptr, false},
    {"Tx_Sj", kInfoOut, kJitter, nullptr, false},
    {"Tx_Sj_Frequency", kInfoOut, "Float", nullptr, false},
    {"Rx_DCD", kInfoOut, kJitter, nullptr, false},
    {"Rx_Rj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Dj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Sj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_PDF", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_Recovery_Mean", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_Recovery_Rj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_Recovery_Dj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_Recovery_Sj", kInfoOut, kJitter, nullptr, false},
    {"Rx_Clock_Recovery_DCD", kInfoOut, kJitter, nullptr, false},
    {"Rx_Receiver_Sensitivity", kInfoOut, "Float", nullptr, false},
    {"Rx_Noise", kInfoOut, "Float", nullptr, false},
    {"Rx_GaussianNoise", kInfoOut, "Float", nullptr, false},
    {"Rx_UniformNoise", kInfoOut, "Float", nullptr, false},
    {"Rx_Decision_Time", kAnyUsage, kJitter, nullptr, false},
    {"DC_Offset", kInfo | kOut | kInOut, "Float", nullptr, false},
    {"Modulation", kInfo, "String", "NRZ PAM4 PAM", false},
    {"Modulation_Levels", kInfo, "Integer", nullptr, true},
    {"PAM4_Mapping", kAnyUsage, "String", nullptr, false},
    {"PAM4_UpperThreshold", kAnyUsage, "Float", nullptr, false},
    {"PAM4_CenterThreshold", kAnyUsage, "Float", nullptr, false},
    {"PAM4_LowerThreshold", kAnyUsage, "Float", nullptr, false},
    {"PAM_Thresholds", kAnyUsage, "Float", nullptr, false},
    {"PAM_Offsets", kAnyUsage, "Float", nullptr, false},
    {"Rx_Use_Clock_Input", kInfo, "String", "None Times Wave", false},
    {"Supporting_Files", kAnyUsage, "String", nullptr, false},
    {"DLL_Path", kIn, "String", nullptr, false},
    {"DLL_ID", kIn, "String", nullptr, false},
    {"Ts4file", kAnyUsage, "String", nullptr, false},
    {"Ts4file_Path", kAnyUsage, "String", nullptr, false},
    {"Tx_V", kAnyUsage, "Float", nullptr, false},
    {"Tx_R", kAnyUsage, "Float", nullptr, false},
    {"Rx_R", kAnyUsage, "Float", nullptr, false},
    {"Repeater_Type", kInfo, "String", "Redriver Retimer", false},
    {"BCI_Protocol", kAnyUsage, "", nullptr, false},
    {"BCI_ID", kAnyUsage, "", nullptr, false},
    {"BCI_State", kAnyUsage, "", nullptr, false},
    {"BCI_Message_Interval_UI", kAnyUsage, "", nullptr, false},
    {"BCI_Training_UI", kAnyUsage, "", nullptr, false},
    {"BCI_Training_Mode", kAnyUsage, "", nullptr, false},
    {"Component_Name", kAnyUsage, "", nullptr, false},
    {"Crosstalk_Path", kAnyUsage, "", nullptr, false},
};
// clang-format on

}  // namespace

const AmiReservedDef* FindReserved(const std::string& name) {
    for (const AmiReservedDef& d : kReserved)
        if (name == d.name) return &d;
    return nullptr;
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
        return "";
    }
    return "";
}

}  // namespace ibis
