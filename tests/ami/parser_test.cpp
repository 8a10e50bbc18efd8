// The parameter tree parser: result codes, tree shapes, allocation failures.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "ami_alloc.h"
#include "ami_tree.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const char* TypeCode(AmiValueType t) {
    switch (t) {
        case AmiValueType::None:
            return "N";
        case AmiValueType::String:
            return "S";
        case AmiValueType::Integer:
            return "I";
        case AmiValueType::Boolean:
            return "B";
        case AmiValueType::Float:
            return "F";
    }
    return "?";
}

// "level:name{children}" for branches, "level:name=value/T,value/T" for leaves.
void Describe(const AmiNodeRef& ref, std::string& out) {
    out += std::to_string(ref.level) + ":";
    if (const AmiLeaf* leaf = ami_leaf(ref)) {
        out += std::string(leaf->name) + "=";
        for (int v = 0; v < leaf->valueCount; ++v) {
            if (v > 0) out += ",";
            out += std::string("<") + leaf->values[v].text + ">/" + TypeCode(leaf->values[v].type);
        }
        return;
    }
    const AmiBranch* branch = ami_branch(ref);
    out += std::string(branch->name) + "{";
    for (int c = 0; c < branch->childCount; ++c) {
        if (c > 0) out += " ";
        Describe(branch->children[c], out);
    }
    out += "}";
}

std::string Shape(const char* text) {
    AmiTree* tree = nullptr;
    const int rc = ami_parse_tree(text, &tree);
    if (rc != 0) return "error " + std::to_string(rc);
    std::string out;
    if (tree->slots[0].node != nullptr) Describe(tree->slots[0], out);
    ami_free_tree(&tree);
    EXPECT_EQ(tree, nullptr);
    return out;
}

}  // namespace

TEST(AmiParser, should_build_the_expected_tree_shapes) {
    struct Case {
        const char* text;
        const char* shape;
    };
    const Case cases[] = {
        {"(root (a 1) (b 2))", "1:root{2:a=<1>/I 2:b=<2>/I}"},
        {"(r(a 1)(b 2))", "1:r{2:a=<1>/I 2:b=<2>/I}"},
        {"( r ( a 1 ) )", "1:r{2:a=<1>/I}"},
        {"(r\n\t(a\t1)\r\n  (b\n2)\n)", "1:r{2:a=<1>/I 2:b=<2>/I}"},
        {"(r (s (a 1)) (b 2))", "1:r{2:s{3:a=<1>/I} 2:b=<2>/I}"},
        {"(r (a 1 2 3))", "1:r{2:a=<1>/I,<2>/I,<3>/I}"},
        {"(r (a \"x y\" 2))", "1:r{2:a=<x y>/S,<2>/I}"},
        {"(r (a \"(\"))", "1:r{2:a=<(>/S}"},
        {"(r (a \"5\"))", "1:r{2:a=<5>/I}"},
        {"(r (a \"\"))", "1:r{2:a=<>/N}"},
        {"(r (a \"  padded  \"))", "1:r{2:a=<  padded>/S}"},
        {"(r (a ab\"cd\"ef))", "1:r{2:a=<cd>/S,<ef>/S}"},
        {"(r (a 1 (b 2)) (c 3))", "1:r{2:c=<3>/I}"},
        {"(r (a 1)(a 2))", "1:r{2:a=<1>/I 2:a=<2>/I}"},
        {"(r (a 1)) trailing words", "1:r{2:a=<1>/I}"},
        {"(r (a 1) junk)", "1:r{2:a=<1>/I}"},
        {"((p 4))", "1:{2:p=<4>/I}"},
        {"(r (a True False true 1e3 .5 5. +5 -7 1e 0x1A inf nan))",
         "1:r{2:a=<True>/B,<False>/B,<true>/S,<1e3>/F,<.5>/F,<5.>/F,<+5>/I,<-7>/I,<1e>/S,"
         "<0x1A>/S,<inf>/S,<nan>/S}"},
        {"(r (tx_taps (-1 0.1) (0 0.8) (1 -0.1)))",
         "1:r{2:tx_taps{3:-1=<0.1>/F 3:0=<0.8>/F 3:1=<-0.1>/F}}"},
        {"(a 1 (b 2))", ""},  // nothing kept: an empty tree, every read fails
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Shape(c.text), c.shape) << c.text;
    }
}

TEST(AmiParser, should_return_the_documented_result_codes) {
    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        {"(r (a) (b 1))", 6},
        {"(r (a 1) (b))", 6},
        {"(r)", 6},
        {"()", 6},
        {"(r (a ) (b 1))", 8},
        {"(a 1)", 3},
        {"(r (a 1)) (s (b 2))", 5},
        {"(r (a 1) junk (b 2))", 5},
        {"x(r (a 1))", 2},
        {"(r (a 1)", 1},
        {"", 2},
        {"   ", 2},
        {"(r (a \")\" 1)", 1},  // quoted parenthesis is not counted
        // Quotes inside a name pair up differently in the count and the scan:
        // the text ends inside a quote or a group, and nothing past it is read.
        {"(r (a\"b \"c) (d\" 1 \"))", 1},
        {"(r (a\"b \"c) (d\" 1) \"x))", 6},
    };
    for (const Case& c : cases) {
        AmiTree* tree = nullptr;
        EXPECT_EQ(ami_parse_tree(c.text, &tree), c.code) << c.text;
        EXPECT_EQ(tree, nullptr) << c.text;
    }
    AmiTree* tree = nullptr;
    EXPECT_EQ(ami_parse_tree(nullptr, &tree), 3);
    EXPECT_EQ(ami_parse_tree("(r (a 1))", nullptr), 3);
}

TEST(AmiParser, should_not_modify_the_callers_text) {
    const std::string original = "(r (a \"x y\") (b \"\"))";
    std::string text = original;
    AmiTree* tree = nullptr;
    ASSERT_EQ(ami_parse_tree(text.c_str(), &tree), 0);
    EXPECT_EQ(text, original);
    ami_free_tree(&tree);
}

TEST(AmiParser, should_classify_roles_keywords_and_blank_runs) {
    AmiTree* tree = nullptr;
    const std::string blanks(200, ' '), lines(200, '\n');
    const std::string text = "(r" + blanks + "(Usage In)" + lines +
                             "(Type Dual-Dirac 5 Foo) (Labels DjRj) (Other Range))";
    ASSERT_EQ(ami_parse_tree(text.c_str(), &tree), 0);
    const AmiBranch* root = ami_branch(tree->slots[0]);
    ASSERT_EQ(root->childCount, 4);
    const AmiLeaf* usage = ami_leaf(root->children[0]);
    EXPECT_EQ(usage->role, AmiLeafRole::Usage);
    EXPECT_EQ(usage->values[0].keyword, AmiKeyword::In);
    const AmiLeaf* type = ami_leaf(root->children[1]);
    EXPECT_EQ(type->role, AmiLeafRole::Type);
    EXPECT_EQ(type->values[0].keyword, AmiKeyword::DualDirac);
    EXPECT_EQ(type->values[1].keyword, AmiKeyword::None);  // an Integer
    EXPECT_EQ(type->values[2].keyword, AmiKeyword::None);
    EXPECT_EQ(ami_leaf(root->children[2])->role, AmiLeafRole::Labels);
    EXPECT_EQ(ami_leaf(root->children[2])->values[0].keyword, AmiKeyword::DjRj);
    EXPECT_EQ(ami_leaf(root->children[3])->role, AmiLeafRole::Other);
    EXPECT_EQ(ami_leaf(root->children[3])->values[0].keyword, AmiKeyword::Range);
    ami_free_tree(&tree);
}

TEST(AmiNumbers, should_classify_and_convert_in_every_locale) {
    // Bytes above 127 are never blanks; only the six ASCII blanks are skipped.
    EXPECT_EQ(ami_value_type("\xa0"
                             "5"),
              AmiValueType::String);
    EXPECT_EQ(ami_value_type(" \t5"), AmiValueType::Integer);
    EXPECT_EQ(ami_value_type("5 "), AmiValueType::String);
    EXPECT_EQ(ami_value_type("-"), AmiValueType::String);
    EXPECT_EQ(ami_value_type("."), AmiValueType::String);
    EXPECT_EQ(ami_value_type("1e+"), AmiValueType::String);
    EXPECT_EQ(ami_value_type("-1.5E-3"), AmiValueType::Float);
    EXPECT_EQ(ami_value_type("99999999999999999999"), AmiValueType::Integer);
    EXPECT_EQ(ami_value_type("1,5"), AmiValueType::String);
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                       std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
    double v = 0;
    EXPECT_TRUE(ami_number_value("2.5", &v));
    EXPECT_EQ(v, 2.5);
    EXPECT_EQ(ami_value_type("1,5"), AmiValueType::String);
    std::setlocale(LC_NUMERIC, saved.c_str());
    (void)comma;
    // Correct rounding, range ends and signs.
    EXPECT_TRUE(ami_number_value("0.1", &v));
    EXPECT_EQ(v, 0.1);
    EXPECT_TRUE(ami_number_value("2.2250738585072011e-308", &v));
    EXPECT_EQ(v, 2.2250738585072011e-308);
    EXPECT_TRUE(ami_number_value("-1e999", &v));
    EXPECT_EQ(v, -HUGE_VAL);
    EXPECT_TRUE(ami_number_value("1e-999", &v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(ami_number_value("+7", &v));
    EXPECT_EQ(v, 7.0);
    EXPECT_FALSE(ami_number_value("abc", &v));
}

TEST(AmiAllocation, should_fail_every_allocation_point_cleanly_with_code_4) {
    const char* text = "(m (a 1 \"two\") (s (b 1) (c 2) (d 3) (e 4) (f 5) (g 6)) (h x))";
    ami_fail_allocation(0);
    AmiTree* tree = nullptr;
    ASSERT_EQ(ami_parse_tree(text, &tree), 0);
    const long total = ami_allocation_count();
    ami_free_tree(&tree);
    ASSERT_GT(total, 20);
    for (long k = 1; k <= total; ++k) {
        ami_fail_allocation(k);
        CaptureStdout();
        EXPECT_EQ(ami_parse_tree(text, &tree), 4) << "failing allocation " << k;
        const std::string report = GetCapturedStdout();
        EXPECT_EQ(tree, nullptr);
        EXPECT_TRUE(report.rfind("ERROR - Memory allocation failed.  This request ", 0) == 0 ||
                    report.rfind("ERROR - Memory reallocation failed.  This request ", 0) == 0 ||
                    report == "PROGRAM BUG - Unable to Allocate Memory: IbisParser/cmn 214\n")
            << report;
    }
    ami_fail_allocation(0);
}

TEST(AmiAllocation, should_report_the_exact_lines) {
    AmiTree* tree = nullptr;
    ami_fail_allocation(1);  // the tree handle
    CaptureStdout();
    EXPECT_EQ(ami_parse_tree("(m (a 1))", &tree), 4);
    EXPECT_EQ(GetCapturedStdout(), "ERROR - Memory allocation failed.  This request " +
                                       std::to_string(sizeof(AmiTree)) + ".\n\n");
    ami_fail_allocation(3);  // handle, slots, then the working copy
    CaptureStdout();
    EXPECT_EQ(ami_parse_tree("(m (a 1))", &tree), 4);
    EXPECT_EQ(GetCapturedStdout(), "PROGRAM BUG - Unable to Allocate Memory: IbisParser/cmn 214\n");

    void* block = nullptr;
    ASSERT_TRUE(ami_alloc_zeroed(&block, 8));
    ami_fail_allocation(1);
    CaptureStdout();
    EXPECT_FALSE(ami_grow_zeroed(&block, 8, 64));
    EXPECT_EQ(GetCapturedStdout(), "ERROR - Memory reallocation failed.  This request 64.\n\n");
    EXPECT_NE(block, nullptr);  // the old block stays
    ami_fail_allocation(0);
    ASSERT_TRUE(ami_grow_zeroed(&block, 8, 64));
    EXPECT_EQ(static_cast<char*>(block)[63], 0);
    ami_release(block);
}

TEST(AmiAllocationDeathTest, should_stop_on_a_zero_byte_request_or_null_place) {
    void* block = nullptr;
    EXPECT_DEATH(ami_alloc_zeroed(&block, 0), "");
    EXPECT_DEATH(ami_alloc_zeroed(nullptr, 8), "");
}

TEST(AmiParser, should_handle_deep_nesting_and_long_texts) {
    const int depth = 100000;
    std::string deep = "(m ";
    for (int k = 0; k < depth; ++k) deep += "(b ";
    deep += "(p 1)";
    deep.append(depth + 1, ')');
    AmiTree* tree = nullptr;
    ASSERT_EQ(ami_parse_tree(deep.c_str(), &tree), 0);
    EXPECT_EQ(tree->slotCount, depth + 2);
    ami_free_tree(&tree);

    std::string wide = "(m";
    for (int k = 0; k < 100000; ++k)
        wide += " (c" + std::to_string(k) + " " + std::to_string(k) + ")";
    wide += ")";
    ASSERT_EQ(ami_parse_tree(wide.c_str(), &tree), 0);
    EXPECT_EQ(ami_branch(tree->slots[0])->childCount, 100000);
    ami_free_tree(&tree);

    std::string values = "(m (v";
    for (int k = 0; k < 1000000; ++k) values += " 1.25e-3";
    values += "))";
    ASSERT_GT(values.size(), 8000000u);
    ASSERT_EQ(ami_parse_tree(values.c_str(), &tree), 0);
    EXPECT_EQ(ami_leaf(ami_branch(tree->slots[0])->children[0])->valueCount, 1000000);
    ami_free_tree(&tree);
}
