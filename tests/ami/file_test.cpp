// The .ami file reader shared by the tools.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ami_file.h"

namespace {

// Lines counted by hand in the texts below.
const char* const kFile = R"ami(| comment with ( and ) that must not shift a line
(tx
  (Reserved_Parameters
    (AMI_Version (Usage Info) (Type String) (Value "7.0"))
    (Ignore_Bits (Value 4))
  )
  (Model_Specific
    (gain (Usage In) (Type Float) (Format Range 0.5 0 1) (Description "a ( in quotes"))
    (eq
      (gain (Usage In) (Type Integer) (List 3 1 2 3) (Default 2))
      (mode (Usage InOut) (Type String) (Format Corner "typ" "slow" "fast")))
    (label (Usage Info) (Type String) (Default "x"))
    (table (Usage In) (Type Float) (Table (Labels a b) (1 2)))
    (taps (Usage In) (Type Float) (Format Table (Labels row t0 t1) (1 0.9 -0.1) (2 0.8 -0.2)))
    (x (Usage Info) (Type String) (Value "(Format Table (Labels a) (1 2))"))
  )
)
)ami";

TEST(AmiFileReader, should_give_each_parameter_its_own_line_path_and_format) {
    const tx::Expected<AmiFileContents> read = ami_read_file(kFile);
    ASSERT_TRUE(read.ok()) << read.error();
    const AmiFileContents& f = *read;
    EXPECT_EQ(f.root, "tx");
    EXPECT_EQ(f.rootLine, 2);
    ASSERT_TRUE(f.reserved && f.modelSpecific);
    EXPECT_EQ(f.reserved->line, 3);
    EXPECT_EQ(f.modelSpecific->line, 7);

    // Every child of Reserved_Parameters is described, with or without Usage.
    ASSERT_EQ(f.reserved->children.size(), 2u);
    const AmiFileNode& bits = f.reserved->children[1];
    EXPECT_TRUE(bits.isParameter);
    EXPECT_FALSE(bits.parameter.usage.has_value());
    EXPECT_EQ(bits.parameter.SentValue(), "4");
    EXPECT_EQ(bits.line, 5);

    const auto& ms = f.modelSpecific->children;
    ASSERT_EQ(ms.size(), 6u);
    // "(Format Range typ min max)": the typical value is sent; bounds read.
    const AmiFileParameter& gain = ms[0].parameter;
    EXPECT_EQ(gain.format, "Range");
    EXPECT_EQ(gain.line, 8);
    EXPECT_EQ(gain.SentValue(), "0.5");
    EXPECT_EQ(gain.description, "a ( in quotes");
    double lo = -1, hi = -1;
    ASSERT_TRUE(gain.Bounds(lo, hi));
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 1.0);

    // A group, and a parameter of the same name inside it on its own line.
    ASSERT_FALSE(ms[1].isParameter);
    EXPECT_EQ(ms[1].line, 9);
    const AmiFileParameter& inner = ms[1].children[0].parameter;
    EXPECT_EQ(inner.path, "eq.gain");
    EXPECT_EQ(inner.line, 10);
    EXPECT_EQ(inner.format, "List");
    EXPECT_EQ(inner.SentValue(), "2");  // the Default wins over the first listed value
    EXPECT_FALSE(inner.Bounds(lo, hi));
    ASSERT_EQ(inner.values.size(), 4u);
    EXPECT_EQ(inner.values[0].type, AmiValueType::Integer);
    EXPECT_EQ(ms[1].children[1].parameter.SentValue(), "typ");
    EXPECT_EQ(ms[1].children[1].parameter.values[0].type, AmiValueType::String);

    // A Default alone; a Table sends nothing by itself.
    EXPECT_EQ(ms[2].parameter.format, "");
    EXPECT_EQ(ms[2].parameter.SentValue(), "x");
    EXPECT_EQ(ms[3].parameter.format, "Table");
    EXPECT_EQ(ms[3].parameter.SentValue(), "");
    EXPECT_EQ(ms[3].line, 13);
    // "(Format Table ...)", as "(Format Range ...)": its rows and labels read;
    // the same words inside a quoted value are left as they are.
    const AmiFileParameter& taps = ms[4].parameter;
    EXPECT_EQ(taps.format, "Table");
    EXPECT_EQ(taps.line, 14);
    EXPECT_EQ(taps.tableLabels, 3u);
    ASSERT_EQ(taps.tableRows.size(), 2u);
    EXPECT_EQ(taps.tableRows[1], (std::vector<std::string>{"2", "0.8", "-0.2"}));
    EXPECT_EQ(ms[5].parameter.SentValue(), "(Format Table (Labels a) (1 2))");
    EXPECT_EQ(ms[5].line, 15);

    // Which values were written in double quotes: "(Format Corner "typ" ...)"
    // after the format's own name, a quoted Default, unquoted numbers.
    for (const AmiFileValue& v : ms[1].children[1].parameter.values)
        EXPECT_TRUE(v.quoted) << v.text;
    EXPECT_TRUE(ms[2].parameter.defaultValue->quoted);
    EXPECT_FALSE(inner.values[0].quoted);
    EXPECT_FALSE(inner.defaultValue->quoted);
    EXPECT_TRUE(f.reserved->children[0].parameter.values[0].quoted);  // "7.0"
}

// A Table of one column: each row a single word or quoted run, read as that
// entry alone and on its own line; a "(2)" outside a Table still fails.
TEST(AmiFileReader, should_read_a_table_of_one_column) {
    const tx::Expected<AmiFileContents> read = ami_read_file(
        "(m (Model_Specific\n"
        " (w (Usage In) (Type Float) (Table (Labels w) (0.9)\n ( -0.1 )))\n"
        " (f (Usage In) (Type String) (Format Table (Labels \"file\") (\"a b.txt\") (c)))\n"
        " (two (Usage In) (Type Float) (Table (Labels a b) (1 2) (3)))\n"
        " (after (Usage In) (Type Integer) (Value 1))))\n");
    ASSERT_TRUE(read.ok()) << read.error();
    const auto& ms = read->modelSpecific->children;
    ASSERT_EQ(ms.size(), 4u);
    EXPECT_EQ(ms[0].parameter.tableLabels, 1u);
    EXPECT_EQ(ms[0].parameter.tableRows,
              (std::vector<std::vector<std::string>>{{"0.9"}, {"-0.1"}}));
    EXPECT_EQ(ms[1].parameter.tableRows,
              (std::vector<std::vector<std::string>>{{"a b.txt"}, {"c"}}));
    EXPECT_EQ(ms[2].parameter.tableRows,
              (std::vector<std::vector<std::string>>{{"1", "2"}, {"3"}}));
    EXPECT_EQ(ms[3].line, 6);
    EXPECT_EQ(ms[3].parameter.SentValue(), "1");

    // A file that ends after such a row names the row by its entry.
    const tx::Expected<AmiFileContents> open =
        ami_read_file("(m (Model_Specific\n (w (Table (Labels w) (0.9)\n (-0.1)\n");
    ASSERT_FALSE(open.ok());
    EXPECT_NE(open.error().find("the last group closed is -0.1 (lines 3 to 3)"), std::string::npos)
        << open.error();
    const tx::Expected<AmiFileContents> bare = ami_read_file("(m\n (a 1)\n (b (2)))\n");
    ASSERT_FALSE(bare.ok());
    EXPECT_NE(bare.error().find("line 3: (2) is a group that holds only a name"), std::string::npos)
        << bare.error();
}

TEST(AmiFileReader, should_tell_quoted_values_from_bare_words_however_they_are_spaced) {
    const tx::Expected<AmiFileContents> read = ami_read_file(
        "(m (Model_Specific\n"
        " (a (Usage In) (Type String) (List \"x y\"   bare\n \"(z)\" w)(Default \"x y\"))))");
    ASSERT_TRUE(read.ok()) << read.error();
    const AmiFileParameter& a = read->modelSpecific->children[0].parameter;
    ASSERT_EQ(a.values.size(), 4u);
    EXPECT_EQ(a.values[0].text, "x y");
    EXPECT_TRUE(a.values[0].quoted);
    EXPECT_FALSE(a.values[1].quoted);
    EXPECT_TRUE(a.values[2].quoted);
    EXPECT_FALSE(a.values[3].quoted);
    EXPECT_TRUE(a.defaultValue->quoted);
}

TEST(AmiFileReader, should_say_where_a_broken_file_goes_wrong_and_accept_missing_branches) {
    const tx::Expected<AmiFileContents> broken = ami_read_file("(m\n  (a (Usage In)\n");
    ASSERT_FALSE(broken.ok());
    EXPECT_NE(broken.error().find("line"), std::string::npos) << broken.error();
    EXPECT_EQ(broken.kind(), tx::ErrorKind::Input);
    EXPECT_FALSE(ami_read_file("").ok());
    EXPECT_FALSE(ami_read_file("no parentheses").ok());

    const tx::Expected<AmiFileContents> partial =
        ami_read_file("(m (Model_Specific (x (Usage In) (Type Integer) (Value 1))))");
    ASSERT_TRUE(partial.ok()) << partial.error();
    EXPECT_FALSE(partial->reserved.has_value());
    ASSERT_TRUE(partial->modelSpecific.has_value());
    EXPECT_EQ(partial->modelSpecific->children[0].parameter.SentValue(), "1");
    // A format word that is not one: kept as written for the checker to judge.
    const tx::Expected<AmiFileContents> misspelt =
        ami_read_file("(m (Model_Specific (x (Usage In) (Type Integer) (Format Rnage 1))))");
    ASSERT_TRUE(misspelt.ok()) << misspelt.error();
    EXPECT_EQ(misspelt->modelSpecific->children[0].parameter.format, "Rnage");
    EXPECT_FALSE(ami_is_format_name("Rnage"));
    EXPECT_TRUE(ami_is_format_name("Dual-Dirac"));
}

}  // namespace
