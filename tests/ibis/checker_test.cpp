// The IBIS and AMI file checker: each case edits a clean file to provoke one
// message and states the number and line it expects.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "check_support.h"
#include "ibis_check.h"
#include "messages.h"
#include "rules/component.h"
#include "spelling.h"

namespace fs = std::filesystem;
using namespace ibis;
using namespace check_support;

namespace {

// Whether the result holds message `number` at `line` (0: any line).
bool Has(const FileResult& r, int number, int line = 0) {
    for (const Report& rep : r.reports)
        if (rep.number == number && (line == 0 || rep.line == line)) return true;
    return false;
}

}  // namespace

TEST(IbisCheck, should_pass_clean_files_of_every_kind) {
    for (const char* name : {"clean.ibs", "board.ebd", "pkg_b.pkg"}) {
        const FileResult r = Check(name, Read(kFiles / name));
        EXPECT_TRUE(r.reports.empty()) << name << "\n" << Dump(r);
        EXPECT_TRUE(r.passed);
    }
}

TEST(IbisCheck, should_report_each_fault_with_its_number_and_line) {
    const std::string clean = Read(kFiles / "clean.ibs");
    // Each edit, the message it must provoke, and a text on the line it must name.
    struct Case {
        std::string from, to;
        int number;
        std::string at;
    };
    const Case cases[] = {
        {"[IBIS Ver]   5.1", "[IBIS Ver]   9.9", 1102, "[IBIS Ver]"},
        {"[File Name]  clean.ibs", "[File Name]  other.ibs", 1104, "[File Name]"},
        {"[File Name]  clean.ibs", "[File Name]  Clean.IBS", 1105, "[File Name]"},
        {"[File Rev]   1.0\n", "", 1103, "[IBIS Ver]"},
        {"[Notes]      Every", "[Notes]      " + std::string(110, 'x') + " Every", 1001, "[Notes]"},
        {"[Disclaimer] For tests only.", "[Disclaimer] For \x01 tests.", 1002, "[Disclaimer]"},
        {"[Component]     chip_b", "[Componnt]     chip_b", 1004, "[Componnt]"},
        {"1      IN0          rx_in", "1      IN0          rx_inn", 2103, "rx_inn"},
        {"1           2        0.1V", "1           9        0.1V", 2104, "1           9"},
        {"1           2        0.1V", "1           1        0.1V", 2105, "1           1"},
        // NA in vdiff or tdelay is a defined value (0 V, 0 ns; 200 mV from 4.2).
        {"1           2        0.1V   0ns", "1           2        NA   NA ", 0, ""},
        {"1           2        0.1V   0ns         NA          NA", "1           2        0.1V",
         2106, "1           2        0.1V"},
        {"[Package Model] pkg_a", "[Package Model] pkg_z", 2107, "[Package Model] pkg_z"},
        {"io_slow   slow corner driver", "io_slw    slow corner driver", 2108, "io_slw"},
        {"Model_type    Input", "Model_type    Bogus", 3002, "Bogus"},
        {"Vinh = 2.0", "Vinh = 2.0\nVfancy = 1.0", 3009, "Vfancy"},
        {"C_comp        0.8pF  0.7pF  0.9pF\n", "", 3003, "[Model]       rx_in"},
        {"C_comp        1.2pF  1.1pF  1.3pF", "C_comp        NA  1.1pF  1.3pF", 3004,
         "C_comp        NA"},
        {"C_comp        1.2pF  1.1pF  1.3pF", "C_comp        1.2pF  1.4pF  1.1pF", 3005, "1.4pF"},
        // No order is required of I-V voltages, but a table that turns back is reported.
        {"-3.3    -40mA    -30mA    -50mA\n3.3", "-3.3    -40mA    -30mA    -50mA\n4.0 0 0 0\n3.3",
         3101, "3.3     40mA"},
        {"-3.3    -40mA    -30mA    -50mA\n3.3", "3.3    -40mA    -30mA    -50mA\n3.3", 3102,
         "3.3     40mA"},
        {"-3.3    -40mA    -30mA    -50mA", "-3.3    -40mA    -30mA", 3104,
         "-3.3    -40mA    -30mA\n"},
        {"dV/dt_r   1.32/1.32n", "dV/dt_r   1.98/1.2n ", 3106, "[Rising Waveform]"},
        {"R_fixture = 50\n", "", 3108, "[Rising Waveform]"},
        {"[Number Of Pins] 4", "[Number Of Pins] 5", 4002, "[Number Of Pins]"},
        {"[Inductance Matrix] Full_matrix", "[Inductance Matrix] Diagonal_matrix", 4004,
         "Diagonal_matrix"},
        {"[Row] 3\n1.0nH 0.2nH", "[Row] 9\n1.0nH 0.2nH", 4003, "[Row] 9"},
        {"[Row] 3\n1.0nH 0.2nH", "[Row] 3\n1.0nH 0.2nH 0.3nH", 4003, "1.0nH 0.2nH 0.3nH"},
        // A missing [End] is reported where the file ends.
        {"[End Package Model]\n|\n[End]\n", "[End Package Model]\n", 1009, "[End Package Model]"},
        {"[End]\n", "[End]\nmore text\n", 1010, "more text"},
        {"[Disclaimer] For tests only.", "[Comment Char] x_char", 1106, "[Comment Char]"},
        {"[Disclaimer] For tests only.", "[Disclaimer]\tFor tests only.", 1003, "[Disclaimer]"},
        {"[Model]       rx_in",
         "[Model]       unused\nModel_type Input\nC_comp 1p 1p 1p\n[Voltage Range] 1 1 1\n[Model] "
         "rx_in",
         3301, "[Model]       unused"},
        {"[Source]", "stray text\n[Source]", 1008, "stray text"},
        {"[Pin]  signal_name  model_name\n",
         "[Pin]  signal_name  model_name\n1      IN1          rx_in\n", 2102, "1      IN0"},
        {"[Package]\n| variable  typ     min     max\nR_pkg       0.2     0.1     0.3\nL_pkg       "
         "1nH     0.8nH   1.2nH\nC_pkg",
         "[Package]\n| variable  typ     min     max\nR_pkg       0.2     0.1     0.3\nC_pkg", 2005,
         "[Component]     chip_a"},
        {"[Manufacturer]  Test\n[Package]\n| variable  typ     min     max\nR_pkg       0.2     "
         "0.1     0.3\nL_pkg       1nH     0.8nH   1.2nH\nC_pkg       0.5pF   0.4pF   0.6pF\n[Pin] "
         " signal_name  model_name\n",
         "[Package]\n| variable  typ     min     max\nR_pkg       0.2     0.1     0.3\nL_pkg       "
         "1nH     0.8nH   1.2nH\nC_pkg       0.5pF   0.4pF   0.6pF\n[Pin]  signal_name  "
         "model_name\n",
         2002, "[Component]     chip_b"},
        {"4\n[Model Data]", "5\n[Model Data]", 2110, "[Package Model] pkg_a"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n[Pin Mapping] pulldown_ref pullup_ref\n1 GNDBUS\n2 NC "
         "VDDBUS\n",
         2109, "1 GNDBUS"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n[Pin Mapping] pulldown_ref pullup_ref\n1 GNDBUS VDDBUS\n2 NC "
         "VDDBUS\n",
         2109, "1 GNDBUS VDDBUS"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n3      VSS          GND\n[Pin Mapping] pulldown_ref "
         "pullup_ref\n1 GNDBUS VDDBUS\n2 NC VDDBUS\n3 GNDBUS NC\n",
         0, ""},
        {"Model_type    I/O\nC_comp        1.2pF", "Model_type    Output\nC_comp        1.2pF", 0,
         ""},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n3      VSS          GND\n[Pin Mapping] pulldown_ref "
         "pullup_ref\n1 GNDBUS VDDBUS\n2 NC VDDBUS\n3 GNDBUS VDDBUS\n",
         2109, "3 GNDBUS VDDBUS"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n3      VSS          GND\n[Pin Mapping] pulldown_ref "
         "pullup_ref\n1 GNDBUS VDDBUS\n2 GNDBUS VDDBUS\n3 GNDBUS NC\n",
         2109, "2 GNDBUS VDDBUS"},
        // [Series Pin Mapping]: two pins of the component and a Series model.
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n[Series Pin Mapping] pin_2 model_name\n1 3 rx_in\n", 2116,
         "1 3 rx_in"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n[Series Pin Mapping] pin_2 model_name\n1 2 rx_in\n", 2117,
         "1 2 rx_in"},
        {"2      VDD          POWER\n",
         "2      VDD          POWER\n[Series Pin Mapping] pin_2 model_name\n1 2 sw_x\n", 2117,
         "1 2 sw_x"},
        {"2      VDD          POWER\n|\n[Model Selector]",
         "2      VDD          POWER\n[Series Pin Mapping] pin_2 model_name\n"
         "1 2 sw\n[Model] sw\nModel_type Series_switch\nC_comp 1p 1p 1p\n[Voltage Range] 1 1 "
         "1\n[On]\n[R Series] 5 4 6\n[Off]\n[R Series] 1M 1M 1M\n[Model Selector]",
         0, ""},
    };
    for (const Case& c : cases) {
        const std::string edited = Edit(clean, c.from, c.to);
        const FileResult r = Check("clean.ibs", edited);
        if (c.number == 0) {
            EXPECT_TRUE(r.passed) << Dump(r);
            continue;
        }
        const int line = LineOf(edited, c.at);
        EXPECT_TRUE(Has(r, c.number, line)) << c.number << " at " << line << "\n" << Dump(r);
    }
}

TEST(IbisCheck, should_check_keywords_against_the_declared_version) {
    const std::string clean = Read(kFiles / "clean.ibs");
    // [Model Selector] came with 3.2, [ISSO PU] with 5.0, [Repeater Pin] with 6.0.
    EXPECT_TRUE(Has(Check("clean.ibs", clean, "2.1"), 1005, LineOf(clean, "[Model Selector]")));
    EXPECT_FALSE(Has(Check("clean.ibs", clean, "3.2"), 1005));
    const std::string isso = Edit(clean, "[Model]       rx_in", "[ISSO PU]\n[Model]       rx_in");
    const FileResult r42 = Check("clean.ibs", isso, "4.2");
    ASSERT_TRUE(Has(r42, 1005, LineOf(isso, "[ISSO PU]"))) << Dump(r42);
    for (const Report& rep : r42.reports) {
        if (rep.number == 1005) {
            EXPECT_NE(rep.text.find("needs IBIS 5.0"), std::string::npos) << rep.text;
        }
    }
    EXPECT_FALSE(Has(Check("clean.ibs", isso, "5.1"), 1005));
    const std::string repeater =
        Edit(clean, "[Package Model] pkg_a", "[Package Model] pkg_a\n[Repeater Pin]");
    EXPECT_TRUE(Has(Check("clean.ibs", repeater, "5.1"), 1005, LineOf(repeater, "[Repeater Pin]")));
    EXPECT_FALSE(Has(Check("clean.ibs", repeater, "6.1"), 1005));
    EXPECT_FALSE(Has(Check("clean.ibs", repeater, "7.2"), 1005));
    // [Model] subparameters and types: Vref came with 2.1, C_comp_pullup with
    // 4.0, Rref_diff and the differential types with 4.1.
    const std::string split =
        Edit(clean, "C_comp        1.0pF  0.9pF  1.1pF",
             "C_comp        1.0pF  0.9pF  1.1pF\nC_comp_pullup 0.5pF  0.4pF  0.6pF\n"
             "Rref_diff     100");
    EXPECT_TRUE(Has(Check("clean.ibs", split, "3.2"), 3010, LineOf(split, "C_comp_pullup")));
    EXPECT_TRUE(Has(Check("clean.ibs", split, "3.2"), 3010, LineOf(split, "Rref_diff")));
    EXPECT_FALSE(Has(Check("clean.ibs", split, "4.0"), 3010));
    const std::string load =
        Edit(clean, "C_comp        1.0pF  0.9pF  1.1pF",
             "C_comp        1.0pF  0.9pF  1.1pF\nVref          0.6\nCref_rising   1p");
    const FileResult load11 = Check("clean.ibs", load, "1.1");
    EXPECT_TRUE(Has(load11, 3010, LineOf(load, "Vref"))) << Dump(load11);
    EXPECT_TRUE(Has(load11, 3009, LineOf(load, "Cref_rising")));  // a [Model Spec] subparameter
    const std::string testLoads = Edit(
        clean, "Vinh = 2.0", "Vinh = 2.0\n[Model Spec]\nVmeas 1.0 1.0 1.0\nCref_rising 1p 1p 1p");
    const FileResult loads32 = Check("clean.ibs", testLoads, "3.2");
    EXPECT_TRUE(Has(loads32, 3010, LineOf(testLoads, "Cref_rising"))) << Dump(loads32);
    EXPECT_FALSE(Has(loads32, 3010, LineOf(testLoads, "Vmeas 1.0")));
    EXPECT_FALSE(Has(Check("clean.ibs", testLoads, "4.0"), 3010));
    const std::string diff = Edit(clean, "Model_type    Input", "Model_type    Input_diff");
    EXPECT_TRUE(Has(Check("clean.ibs", diff, "4.0"), 3010, LineOf(diff, "Input_diff")));
    EXPECT_FALSE(Has(Check("clean.ibs", diff, "7.2"), 3010));
    // [C Comp Corner] came with 6.0, [Clock Pins] with 7.1.
    const std::string later =
        Edit(Edit(clean, "Vinh = 2.0\n", "Vinh = 2.0\n[C Comp Corner]\nC_comp 1.0pF 0.9pF 1.1pF\n"),
             "[Package Model] pkg_a\n", "[Package Model] pkg_a\n[Clock Pins]\n");
    const FileResult r61 = Check("clean.ibs", later, "6.1");
    EXPECT_TRUE(Has(r61, 1005, LineOf(later, "[Clock Pins]"))) << Dump(r61);
    EXPECT_FALSE(Has(r61, 1005, LineOf(later, "[C Comp Corner]")));
    EXPECT_TRUE(Has(Check("clean.ibs", later, "5.1"), 1005, LineOf(later, "[C Comp Corner]")));
    // In 7.2 both are known; the [Clock Pins] written here holds no rows.
    const FileResult r72 = Check("clean.ibs", later, "7.2");
    ASSERT_EQ(r72.reports.size(), 1u) << Dump(r72);
    EXPECT_TRUE(Has(r72, 1019, LineOf(later, "[Clock Pins]"))) << Dump(r72);
    // A [Test Data] section at file level with its near and far waveforms; it names
    // its driver and its [Test Load].
    const std::string test =
        Edit(clean, "[End]\n",
             "[Test Data] td\nTest_data_type Single_ended\nDriver_model io_fast\nTest_load tl\n"
             "[Rising Waveform Near]\n0 0 NA NA\n1n 1 NA NA\n[Diff Falling Waveform Far]\n0 1 1 1\n"
             "[Test Load] tl\nTest_load_type Single_ended\nR_diff_near = 100\n[End]\n");
    EXPECT_TRUE(Check("clean.ibs", test).reports.empty()) << Dump(Check("clean.ibs", test));
    EXPECT_TRUE(Has(Check("clean.ibs", Edit(test, "Driver_model io_fast\n", "")), 3013));
    EXPECT_TRUE(Has(Check("clean.ibs", Edit(test, "Test_load tl\n", "")), 3013));
    // 80 characters a line before 4.0, 120 from 4.0.
    const std::string long90 =
        Edit(clean, "[Notes]      Every", "[Notes]      " + std::string(70, 'y') + " Every");
    EXPECT_TRUE(Has(Check("clean.ibs", long90, "3.2"), 1001, LineOf(long90, "[Notes]")));
    EXPECT_FALSE(Has(Check("clean.ibs", long90, "4.2"), 1001));
    // 7.0 took file names of up to 256 characters: "Enable file names that are up
    // to 256 characters in length. IBIS in general will need to increase its
    // rule on the number of characters permitted in each line" (BIRD 186.4);
    // its lines may have 1024.
    const std::string long300 =
        Edit(clean, "[Notes]      Every", "[Notes]      " + std::string(280, 'y') + " Every");
    EXPECT_TRUE(Has(Check("clean.ibs", long300, "6.1"), 1001, LineOf(long300, "[Notes]")));
    EXPECT_FALSE(Has(Check("clean.ibs", long300, "7.0"), 1001));
    const std::string long1100 =
        Edit(clean, "[Notes]      Every", "[Notes]      " + std::string(1100, 'y') + " Every");
    EXPECT_TRUE(Has(Check("clean.ibs", long1100, "7.2"), 1001, LineOf(long1100, "[Notes]")));
}

TEST(IbisCheck, should_check_circuit_calls_against_pins_nodes_and_external_circuits) {
    const std::string clean = Read(kFiles / "clean.ibs");
    std::string text = Edit(
        clean, "2      VDD          POWER\n",
        "2      VDD          POWER\n"
        "[Node Declarations]\nn1 n2 n1\n[End Node Declarations]\n"
        "[Circuit Call] die_net\nSignal_pin 1\nSeries_pins 1 2\nPort_map A_pad 1\n"
        "Port_map A_buf n2\nPort_map A_die 1.pad\nPort_map A_x n9\nPort_map A_none 1\nBogus 1\n"
        "[End Circuit Call]\n"
        "[Circuit Call] other_net\nSignal_pin 7\n[End Circuit Call]\n");
    text = Edit(text, "[End]\n",
                "[External Circuit] die_net\nLanguage SPICE\nCorner Typ die.sp die_typ\n"
                "Ports A_pad A_buf A_die A_x\n[End External Circuit]\n[End]\n");
    const FileResult r = Check("clean.ibs", text);
    const std::pair<int, const char*> expected[] = {
        {2114, "n1 n2 n1"},       {2113, "Series_pins"},          {2112, "Port_map A_x"},
        {2115, "Bogus"},          {2111, "[Circuit Call] other"}, {2112, "Signal_pin 7"},
        {2112, "Port_map A_none"}};  // a port the circuit does not declare
    for (const auto& [number, at] : expected)
        EXPECT_TRUE(Has(r, number, LineOf(text, at))) << number << " " << at;
    EXPECT_EQ(r.reports.size(), std::size(expected)) << Dump(r);
    // Sections with a closing keyword: one left open, one closed twice.
    const std::string open =
        Edit(Edit(text, "[End External Circuit]\n", ""), "[End Node Declarations]\n",
             "[End Node Declarations]\n[End Node Declarations]\n");
    const FileResult o = Check("clean.ibs", open);
    EXPECT_TRUE(Has(o, 1013, LineOf(open, "[External Circuit]"))) << Dump(o);
    EXPECT_TRUE(Has(o, 1006, LineOf(open, "[End Node Declarations]") + 1)) << Dump(o);
    const std::string set =
        Edit(clean, "[End]\n", "[Interconnect Model] lone\n[End Interconnect Model]\n[End]\n");
    EXPECT_TRUE(
        Has(Check("clean.ibs", set, "7.2"), 1006, LineOf(set, "[Interconnect Model] lone")));
}

TEST(IbisCheck, should_check_ami_files_through_the_parameter_parser) {
    const std::string good =
        "(m (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
        " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
        " (GetWave_Exists (Usage Info) (Type Boolean) (Value True)))\n"
        " (Model_Specific (gain (Usage In) (Type Integer) (Range 1 0 4) (Default 1))))\n";
    EXPECT_TRUE(Check("m.ami", good).reports.empty()) << Dump(Check("m.ami", good));
    struct Case {
        const char* from;
        const char* to;
        int number, line;
    };
    const Case cases[] = {
        {"(Range 1 0 4) (Default 1)", "(Range 1 0 4) (Default 5)", 6011, 4},
        {"(Range 1 0 4)", "(List 0 2 4)", 6011, 4},
        {"(Range 1 0 4)", "(Range 1 x 4)", 6010, 4},
        {"(Range 1 0 4) (Default 1)", "", 6009, 4},
        {"(Usage In)", "(Usage Sideways)", 6007, 4},
        {"(Type Integer)", "", 6008, 4},
        {"(Value True))\n (GetWave_Exists (Usage Info) (Type Boolean) (Value True))",
         "(Value False))\n (GetWave_Exists (Usage Info) (Type Boolean) (Value False))", 6005, 2},
        {"(GetWave_Exists (Usage Info) (Type Boolean) (Value True))",
         "(GetWave_Exists (Usage Info) (Type Boolean) (Value True)) (Fancy (Usage Info) (Type "
         "Integer) (Value 1))",
         6006, 3},
        {"(Reserved_Parameters", "(Other", 6003, 1},
        {" (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n", "\n", 6004, 1},
        {"(Model_Specific (gain", "(Model_Specific (gain (", 6001, 1},
    };
    for (const Case& c : cases) {
        const FileResult r = Check("m.ami", Edit(good, c.from, c.to));
        EXPECT_TRUE(Has(r, c.number, c.line)) << c.number << "\n" << Dump(r);
    }
    EXPECT_TRUE(Has(Check("other.ami", good), 6002, 1));
    const std::string board = Read(kFiles / "board.ebd");
    EXPECT_TRUE(
        Has(Check("board.ebd", Edit(board, "[Number Of Pins] 3", "[Number Of Pins] 4")), 5003));
    EXPECT_TRUE(Has(Check("board.ebd", Edit(board,
                                            "[Path Description] path_a\nPin A1\nLen = 0.5 L=8.0n "
                                            "C=3.0p R=0.1 /\nNode u1.1\n[Path Description] "
                                            "path_b\nPin A2\nLen = 0.5 L=8.0n C=3.0p R=0.1 "
                                            "/\nNode u1.2\n",
                                            "")),
                    5002, 4));
    EXPECT_TRUE(Has(Check("board.ebd", Edit(board, "[End Board Description]\n", "")), 5001, 4));
    const FileResult unbalanced = Check("m.ami", "(m\n (a 1)\n (b 2)\n");
    ASSERT_TRUE(Has(unbalanced, 6001));
    EXPECT_NE(unbalanced.reports[0].text.find(
                  "line 1: '(' of m is never closed; the file ends at line 3, and the last group "
                  "closed is b (lines 3 to 3)"),
              std::string::npos)
        << unbalanced.reports[0].text;
    // A ')' missing inside: the group that swallowed the rest is named.
    const FileResult swallowed = Check("m.ami", "(m\n (Reserved (a 1)\n (Model_Specific (b 2)))\n");
    ASSERT_TRUE(Has(swallowed, 6001));
    EXPECT_NE(swallowed.reports[0].text.find("the last group closed is Reserved (lines 2 to 3)"),
              std::string::npos)
        << swallowed.reports[0].text;
    // A group of a name alone and an empty group are shown where they stand.
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {"(m\n (a 1)\n (t (b (x 1) ( 2 ))))\n",
              "line 3: (2) is a group that holds only a name"},
             {"(m\n (a 1)\n (b ()))\n", "line 3: an empty group ()"}}) {
        const FileResult bare = Check("m.ami", text);
        ASSERT_TRUE(Has(bare, 6001)) << text;
        EXPECT_NE(bare.reports[0].text.find(why), std::string::npos) << bare.reports[0].text;
    }
}

TEST(IbisCheck, should_follow_referenced_files_and_read_export_tables) {
    const fs::path dir = fs::temp_directory_path() / ("ibischeck-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(TX_MODEL_LIBRARY, dir / "varnok_meridel_qlx_ami_tx.so");
    fs::copy_file(fs::path(TX_SOURCE_DIR) / "package/varnok_meridel_qlx_ami_tx.ami",
                  dir / "varnok_meridel_qlx_ami_tx.ami");
    std::string ibs = Read(fs::path(TX_SOURCE_DIR) / "package/varnok_meridel_qlx_ami_tx.ibs");
    ibs = Edit(ibs,
               "Executable Windows_GCC_32     varnok_meridel_qlx_ami_tx_win32.dll "
               "varnok_meridel_qlx_ami_tx.ami\n",
               "");
    ibs = Edit(ibs,
               "Executable Windows_GCC_64     varnok_meridel_qlx_ami_tx_win64.dll "
               "varnok_meridel_qlx_ami_tx.ami\n",
               "");
    std::ofstream(dir / "varnok_meridel_qlx_ami_tx.ibs") << ibs;
    FileResult r = CheckFile((dir / "varnok_meridel_qlx_ami_tx.ibs").string(), Options{});
    EXPECT_TRUE(r.passed) << Dump(r);
    EXPECT_TRUE(r.reports.empty()) << Dump(r);
    // The .ami of an Output model describes a transmitter: a receiver's
    // parameter there is warned, a transmitter's is not.
    const std::string ami = Read(dir / "varnok_meridel_qlx_ami_tx.ami");
    const std::string at = "        (Ignore_Bits";
    for (const auto& [parameter, warned] : std::map<std::string, bool>{
             {"        (Rx_Receiver_Sensitivity (Usage Info) (Type Float) (Value 0.01))\n", true},
             {"        (Tx_Rj (Usage Info) (Type Float) (Value 1e-13))\n", false}}) {
        std::ofstream(dir / "varnok_meridel_qlx_ami_tx.ami") << Edit(ami, at, parameter + at);
        const FileResult side =
            CheckFile((dir / "varnok_meridel_qlx_ami_tx.ibs").string(), Options{});
        EXPECT_EQ(Has(side, 6022), warned) << parameter << Dump(side);
    }
    // BIRD155.2: a model whose .ami says Resolve_Exists True resolves its
    // Dep parameters in AMI_Resolve; this executable exports none.
    std::ofstream(dir / "varnok_meridel_qlx_ami_tx.ami") << Edit(
        ami, at, "        (Resolve_Exists (Usage Info) (Type Boolean) (Value True))\n" + at);
    const FileResult resolve =
        CheckFile((dir / "varnok_meridel_qlx_ami_tx.ibs").string(), Options{});
    EXPECT_TRUE(Has(resolve, 3204, LineOf(ibs, "Executable Linux_GCC_64"))) << Dump(resolve);
    std::ofstream(dir / "varnok_meridel_qlx_ami_tx.ami") << ami;
    std::vector<std::string> names;
    std::string format;
    ASSERT_TRUE(ReadExports(TX_MODEL_LIBRARY, names, format));
    EXPECT_EQ(format, "elf64-x86-64");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"AMI_Close", "AMI_GetWave", "AMI_Init"}));
    // A text file in the executable's place, and a name that climbs out.
    std::ofstream(dir / "varnok_meridel_qlx_ami_tx.so") << "not a library";
    r = CheckFile((dir / "varnok_meridel_qlx_ami_tx.ibs").string(), Options{});
    EXPECT_TRUE(Has(r, 3205, LineOf(ibs, "Executable Linux_GCC_64"))) << Dump(r);
    std::ofstream(dir / "up.ibs") << Edit(ibs, "       varnok_meridel_qlx_ami_tx.so   ",
                                          "       ../x.so   ");
    EXPECT_TRUE(Has(CheckFile((dir / "up.ibs").string(), Options{}), 1107,
                    LineOf(ibs, "Executable Linux_GCC_64")));
    fs::remove_all(dir);
}

TEST(IbisCheck, should_keep_a_limited_number_of_reports_of_one_message_and_count_the_rest) {
    // 250 [Pin] rows naming a model nobody defines: 250 of message 2103.
    std::string rows;
    for (int i = 0; i < 250; ++i) rows += "G" + std::to_string(i) + " S ghost\n";
    const std::string text = Edit(Read(kFiles / "clean.ibs"), "4      VSS          GND\n",
                                  "4      VSS          GND\n" + rows);
    const auto of2103 = [](const FileResult& r) {
        return std::count_if(r.reports.begin(), r.reports.end(),
                             [](const Report& rep) { return rep.number == 2103; });
    };
    for (const int limit : {100, 1, 0, 250}) {
        Options o;
        o.maxReports = limit;
        const FileResult r = CheckText("clean.ibs", text, Kind::Ibs, o, "");
        const int kept = limit == 0 ? 250 : limit;
        EXPECT_EQ(of2103(r), kept) << limit;
        EXPECT_EQ(r.counts[0], 250) << "the summary counts every report, kept or not";
        EXPECT_FALSE(r.passed);
        if (kept == 250) {
            EXPECT_TRUE(r.omitted.empty()) << limit;
            continue;
        }
        ASSERT_EQ(r.omitted.size(), 1u) << limit;
        EXPECT_EQ(r.omitted[0].number, 2103);
        EXPECT_EQ(r.omitted[0].severity, Severity::Error);
        EXPECT_EQ(r.omitted[0].file, "clean.ibs");
        EXPECT_EQ(r.omitted[0].count, 250 - kept);
    }
    // An .ami file's reports are limited the same way: 30 parameters without
    // a format.
    std::string leaves;
    for (int i = 0; i < 30; ++i)
        leaves += " (p" + std::to_string(i) + " (Usage In) (Type Integer))";
    const std::string ami =
        "(m (Reserved_Parameters (AMI_Version (Usage Info) (Type String) "
        "(Value \"7.0\")) (Init_Returns_Impulse (Usage Info) (Type Boolean) "
        "(Value True)) (GetWave_Exists (Usage Info) (Type Boolean) "
        "(Value True))) (Model_Specific" +
        leaves + "))";
    Options o;
    o.maxReports = 10;
    const FileResult few = CheckText("m.ami", ami, Kind::Ami, o, "");
    EXPECT_EQ(few.reports.size(), 10u) << Dump(few);
    EXPECT_EQ(few.counts[0], 30);
    ASSERT_EQ(few.omitted.size(), 1u);
    EXPECT_EQ(few.omitted[0].number, 6009);
    EXPECT_EQ(few.omitted[0].count, 20);
}

TEST(IbisCheck, should_find_every_pin_by_name_whatever_its_length_or_bytes) {
    // Names of 1 to 12 bytes (the short ones kept in the row, the long ones
    // apart), bytes above 127 and NUL included, many given twice: each found
    // as a plain map finds it, each repeat reported once, in name order.
    std::mt19937 random(7);
    const std::string alphabet = std::string("ab\xff\x80z") + '\0';
    std::map<std::string, std::pair<int, std::string>> first;
    std::vector<std::pair<std::string, int>> repeats;
    PinTable table;
    for (int line = 1; line <= 4000; ++line) {
        std::string name(1 + random() % 12, 'a');
        for (char& c : name) c = alphabet[random() % alphabet.size()];
        if (line % 3 == 0) name.resize(1 + random() % 3);  // short names, often repeated
        const std::string model = "m" + std::to_string(random() % 5);
        table.Add(name, line, model);
        if (!first.emplace(name, std::make_pair(line, model)).second)
            repeats.emplace_back(name, line);
    }
    std::vector<std::pair<std::string, int>> reported;
    table.Seal([&](const PinTable::Entry& e) { reported.emplace_back(e.name, e.line); });
    std::sort(repeats.begin(), repeats.end());
    EXPECT_EQ(reported, repeats);
    ASSERT_EQ(table.size(), first.size());
    std::size_t i = 0;
    for (const auto& [name, row] : first) {
        const std::optional<PinTable::Entry> found = table.Find(name);
        ASSERT_TRUE(found.has_value()) << i;
        EXPECT_EQ(found->line, row.first);
        EXPECT_EQ(*found->model, row.second);
        EXPECT_EQ(table.At(i++).name, name) << "in name order";
    }
    EXPECT_FALSE(table.Find(std::string("a\0", 2) + "zzzzzzzzzzzzz").has_value());
}

TEST(IbisCheck, should_keep_the_readme_message_table_in_step_with_the_code) {
    const std::string readme = Read(fs::path(TX_SOURCE_DIR) / "README.md");
    const std::size_t begin = readme.find("<!-- messages -->\n");
    const std::size_t end = readme.find("<!-- /messages -->");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::size_t from = begin + std::string("<!-- messages -->\n").size();
    EXPECT_EQ(readme.substr(from, end - from), MessageTableMarkdown());
}

TEST(IbisCheck, should_number_every_message_once_in_its_section) {
    // Thousands by section: 1 file and header, 2 component, 3 model,
    // 4 package, 5 board, 6 .ami.
    const std::map<std::string, std::vector<int>> sections = {
        {"file", {1}},    {"header", {1}}, {"component", {2}}, {"model", {3}},
        {"package", {4}}, {"board", {5}},  {"ami", {6}}};
    std::set<int> seen;
    int last = 0;
    for (const MessageDef& m : MessageTable()) {
        const int number = static_cast<int>(m.id);
        EXPECT_TRUE(seen.insert(number).second) << number << " twice";
        EXPECT_GT(number, last) << "the table is in number order";
        last = number;
        const auto s = sections.find(m.section);
        ASSERT_NE(s, sections.end()) << number << " in section " << m.section;
        EXPECT_EQ(number / 1000, s->second.front()) << number << " in section " << m.section;
        // A report carries the number and the table's severity.
        const Report r = MakeReport(m.id, "f", 1, "t");
        EXPECT_EQ(r.number, number);
        EXPECT_EQ(r.severity, m.severity);
    }
}

TEST(IbisCheck, should_say_what_is_wrong_in_words_that_fit_the_fault) {
    const auto ami = [](const std::string& reserved, const std::string& specific) {
        return "(m\n (Reserved_Parameters\n"
               "  (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n" +
               reserved + ")\n (Model_Specific\n" + specific + "))\n";
    };
    const std::string flows =
        "  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value False))\n"
        "  (GetWave_Exists (Usage Info) (Type Boolean) (Value Yes))\n";
    const std::string fine = "  (a (Usage In) (Type Integer) (Range 5 0 20))\n";
    const std::string both =
        "  (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
        "  (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n";
    // A value that is no Boolean is said to be so; what it would mean for
    // the flows is not guessed.
    FileResult r = Check("m.ami", ami(flows, fine));
    EXPECT_TRUE(Has(r, 6010, 5)) << Dump(r);
    EXPECT_FALSE(Has(r, 6005)) << Dump(r);
    // Nor is it guessed from a List without a Default.
    r = Check("m.ami", ami(Edit(flows, "(Value Yes)", "(List True False)"), fine));
    EXPECT_FALSE(Has(r, 6005)) << Dump(r);
    // (Range typ min max): "Range 0 20 0" has its min above its max.
    r = Check("m.ami", ami(both, "  (a (Usage In) (Type Integer) (Range 0 20 0) (Default 0))\n"));
    ASSERT_EQ(r.reports.size(), 1u) << Dump(r);
    EXPECT_EQ(r.reports[0].number, 6009);
    EXPECT_NE(r.reports[0].text.find("its min 20 is above its max 0"), std::string::npos)
        << r.reports[0].text;
    r = Check("m.ami", ami(both, "  (a (Usage In) (Type Integer) (Range 30 0 20))\n"));
    EXPECT_TRUE(Has(r, 6009)) << Dump(r);
    EXPECT_TRUE(Check("m.ami", ami(both, fine)).passed) << Dump(Check("m.ami", ami(both, fine)));
    // Quoted text that is cut says so.
    const std::string clean = Read(kFiles / "clean.ibs");
    r = Check("clean.ibs", Edit(clean, "[Disclaimer] For tests only.",
                                "[Disclaimer] For tests only.\n[File Rev] 1\n"
                                "stray words that go on for far more than forty characters"));
    std::string stray;
    for (const Report& rep : r.reports)
        if (rep.text.find("belongs to no keyword") != std::string::npos) stray = rep.text;
    EXPECT_NE(stray.find("'stray words that go on for far more than...'"), std::string::npos)
        << Dump(r);
    // Six [Pin] columns under a keyword line that names three: the names are
    // missing, not the pin, signal or model ("When using six columns, the
    // headers R_pin, L_pin, and C_pin must be listed").
    r = Check("clean.ibs",
              Edit(clean, "[Pin]  signal_name  model_name  R_pin  L_pin  C_pin", "[Pin]"));
    ASSERT_TRUE(Has(r, 2101)) << Dump(r);
    EXPECT_NE(r.reports[0].text.find("does not name R_pin, L_pin and C_pin"), std::string::npos)
        << Dump(r);
    // A pin row short of its C_pin is that one fault: its pin still stands
    // for the [Diff Pin] pair that names it.
    r = Check("clean.ibs", Edit(clean, "1.1nH  0.4pF", "1.1nH"));
    EXPECT_TRUE(Has(r, 2101) && r.reports.size() == 1) << Dump(r);
    // Findings name the file as it was given, as the summary does.
    EXPECT_EQ(FormatReport(MakeReport(Message::NoEnd, "dir/sub/x.ibs", 7, "t")),
              "ERROR 1009 dir/sub/x.ibs:7: t");
}

// A name one slip of the keyboard from a known one is named: a letter added,
// dropped, changed or two swapped (more for longer names), without case, '_'
// and ' ' alike; nothing when no name is that near, or two are.
TEST(IbisCheck, should_name_what_a_misspelt_keyword_or_parameter_meant) {
    EXPECT_EQ(tx::NearestName("Pulldwon", {"Pullup", "Pulldown"}), "Pulldown");
    EXPECT_EQ(tx::NearestName("model_selecter", {"Model Selector", "Model"}), "Model Selector");
    EXPECT_EQ(tx::NearestName("init_returns_impulse", {"Init_Returns_Impulse"}),
              "Init_Returns_Impulse");
    EXPECT_EQ(tx::NearestName("Pin", {"Pin", "Pins"}), "");    // known as written
    EXPECT_EQ(tx::NearestName("abcf", {"abcd", "abce"}), "");  // two as near
    EXPECT_EQ(tx::NearestName("Xyzzy", KeywordSpellings()), "");
    EXPECT_EQ(tx::NearestName("Vinx", {"Vinl", "Vinh"}), "");
    EXPECT_EQ(tx::NearestName("Rising Wavefrom Near", KeywordSpellings()), "Rising Waveform Near");

    const std::string clean = Read(kFiles / "clean.ibs");
    const auto text = [](const FileResult& r, int number) {
        for (const Report& rep : r.reports)
            if (rep.number == number) return rep.text;
        return std::string();
    };
    EXPECT_EQ(text(Check("clean.ibs", Edit(clean, "[Pulldown]\n| V", "[Pulldwon]\n| V")), 1004),
              "[Pulldwon] is not an IBIS keyword; did you mean [Pulldown]?");
    EXPECT_EQ(text(Check("clean.ibs", Edit(clean, "[Pulldown]\n| V", "[Xyzzy]\n| V")), 1004),
              "[Xyzzy] is not an IBIS keyword");
    EXPECT_EQ(
        text(Check("clean.ibs", Edit(clean, "C_comp        0.8pF", "C_cmop        0.8pF")), 3009),
        "'C_cmop' is not a [Model] subparameter; did you mean C_comp?");
    EXPECT_EQ(
        text(Check("clean.ibs", Edit(clean, "Model_type    Input", "Model_type    Inptu")), 3002),
        "Model_type 'Inptu' is not an IBIS model type; did you mean Input?");
    EXPECT_EQ(text(Check("clean.ibs", Edit(clean, "Model_type    Input",
                                           "Model_type    Input\nPolarity Non-Invertng")),
                   3012),
              "Polarity 'Non-Invertng' is not Inverting or Non-Inverting; did you mean "
              "Non-Inverting?");
    EXPECT_EQ(text(Check("clean.ibs",
                         Edit(clean, "1      IN0          rx_in", "1      IN0          rx_inn")),
                   2103),
              "[Pin] of chip_b names model \"rx_inn\", which is not defined; did you mean rx_in?");
    EXPECT_EQ(text(Check("clean.ibs", Edit(clean, "io_slow   slow", "io_slwo   slow")), 2108),
              "[Model Selector] io_sel names model \"io_slwo\", which is not defined; did you "
              "mean io_slow?");
    EXPECT_EQ(text(Check("clean.ibs", Edit(clean, "R_fixture = 50", "R_fixtrue = 50")), 3009),
              "'R_fixtrue' is not a waveform subparameter; did you mean R_fixture?");
    const std::string ami =
        "(m (Reserved_Parameters (AMI_Version (Usage Info) (Type String) (Value \"7.0\"))\n"
        " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
        " (GetWave_Exists (Usage Info) (Type Boolean) (Value False)))\n"
        " (Model_Specific (g (Usage In) (Type Float) (Range 1 0 2) (Default 1))))\n";
    EXPECT_EQ(text(Check("m.ami", Edit(ami, "(GetWave_Exists", "(GetWave_Exist")), 6006),
              "GetWave_Exist is not a reserved parameter; did you mean GetWave_Exists?");
    EXPECT_EQ(text(Check("m.ami", Edit(ami, "(Default 1)", "(Defualt 1)")), 6019),
              "g holds (Defualt ...), none of Usage, Type, a format, Default, Description, "
              "List_Tip; did you mean Default?");
    EXPECT_EQ(text(Check("m.ami", Edit(ami, "(Type Float) (Range", "(Type Flaot) (Range")), 6008),
              "g has Type Flaot, which is not an AMI type; did you mean Float?");
    // A List's labels written as "(Label ...)", as a real file does.
    EXPECT_EQ(text(Check("m.ami", Edit(ami, "(Range 1 0 2) (Default 1)",
                                       "(List 0 1) (Default 1) (Label \"off\" \"on\")")),
                   6019),
              "g holds (Label ...), none of Usage, Type, a format, Default, Description, "
              "List_Tip; did you mean List_Tip?");

    // A board's component, named in the file its map gives.
    const std::string board =
        Edit(Read(kFiles / "board.ebd"), "clean.ibs   chip_a", "clean.ibs   chip_aa");
    EXPECT_EQ(text(CheckText("board.ebd", board, Kind::Ebd, Options{}, kFiles.string()), 5007),
              "clean.ibs has no [Component] chip_aa; did you mean chip_a?");

    // A file of countless slips gets hints for the first thousand only.
    std::string slips;
    for (int i = 0; i < 1100; ++i) slips += "[Pulldwon]\n";
    Options all;
    all.maxReports = 0;
    const FileResult many = CheckText(
        "clean.ibs", Edit(clean, "[Pulldown]\n| V", slips + "[Pulldown]\n| V"), Kind::Ibs, all, "");
    int hinted = 0, plain = 0;
    for (const Report& rep : many.reports)
        if (rep.number == 1004)
            ++(rep.text.find("did you mean") != std::string::npos ? hinted : plain);
    EXPECT_EQ(hinted, 1000);
    EXPECT_EQ(plain, 100);
    // And no more than a million names compared: countless slips among
    // countless names cost a bounded time.
    tx::Hints budget;
    const std::vector<std::string> names(600000, "model_a");
    EXPECT_EQ(budget.DidYouMean("model_b", names), "; did you mean model_a?");
    EXPECT_EQ(budget.DidYouMean("model_b", names), "");
}
