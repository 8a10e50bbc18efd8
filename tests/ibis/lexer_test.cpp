// The IBIS lexer, the keyword table and the light reader amihost uses.
#include "lexer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "check_support.h"
#include "ibis_check.h"
#include "keywords.h"

using namespace ibis;

namespace {

std::vector<Line> Lines(const std::string& text, char switchTo = 0, int atLine = 0) {
    Lexer lexer(text);
    std::vector<Line> out;
    for (Line l; lexer.Next(l);) {
        out.push_back(l);
        if (switchTo != 0 && l.number == atLine) lexer.SetCommentChar(switchTo);
    }
    return out;
}

TEST(IbisLexer, should_give_lines_keywords_and_words_as_written) {
    // CRLF line ends, a last line without one, a blank line, a comment, a
    // keyword with blanks and underscores, an unclosed bracket.
    const std::vector<Line> l = Lines(
        "[IBIS Ver]  5.1 | the version\r\n\r\n  [ Model_Spec ]\targs here\n"
        "   Vinh  2.0  | comment\n[Unclosed\n|only a comment\nlast 1 2");
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[0].kind, Line::Keyword);
    EXPECT_EQ(l[0].name, "IBIS Ver");
    EXPECT_EQ(l[0].key, "ibis ver");
    EXPECT_EQ(l[0].words, (std::vector<std::string>{"5.1"}));
    EXPECT_EQ(l[0].raw, "[IBIS Ver]  5.1 | the version");  // the CR is gone
    EXPECT_EQ(l[1].kind, Line::Blank);
    EXPECT_EQ(l[2].key, "model spec");
    EXPECT_EQ(l[2].args, "\targs here");
    EXPECT_EQ(l[2].words, (std::vector<std::string>{"args", "here"}));
    EXPECT_EQ(l[3].kind, Line::Data);
    EXPECT_EQ(l[3].content, "   Vinh  2.0  ");
    EXPECT_EQ(l[3].words, (std::vector<std::string>{"Vinh", "2.0"}));
    EXPECT_EQ(l[4].kind, Line::Unclosed);
    EXPECT_EQ(l[5].kind, Line::Blank);
    EXPECT_EQ(l[6].number, 7);
    EXPECT_EQ(l[6].words.size(), 3u);
    // A final line end gives no extra line; an empty text none at all.
    EXPECT_EQ(Lines("a\n").size(), 1u);
    EXPECT_TRUE(Lines("").empty());
}

TEST(IbisLexer, should_read_the_comment_char_line_whole_and_switch_after_it) {
    // "[Comment Char] |_char" names "|" itself; the line is not cut at it. From
    // the next line the new character cuts comments and "|" is text.
    const std::vector<Line> l =
        Lines("[Comment Char] #_char\n[Model] a|b # note\n[Comment Char] |_char\n", '#', 1);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].words, (std::vector<std::string>{"#_char"}));
    EXPECT_EQ(l[1].words, (std::vector<std::string>{"a|b"}));
    EXPECT_EQ(l[2].words, (std::vector<std::string>{"|_char"}));
    EXPECT_EQ(CommentCharArgument("|_char"), std::optional<char>('|'));
    for (const char* bad : {"a_char", "##_char", "#_chr", "#", ""})
        EXPECT_FALSE(CommentCharArgument(bad)) << bad;
}

TEST(IbisLexer, should_read_numbers_with_scale_suffixes_and_units) {
    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    for (const Case& c :
         {Case{"1.5n", true, 1.5e-9}, Case{"2pF", true, 2e-12}, Case{"3.3V", true, 3.3},
          Case{"1e3", true, 1e3}, Case{"-4.7k", true, -4.7e3}, Case{"10M", true, 1e7},
          Case{"7mA", true, 7e-3}, Case{"2u", true, 2e-6}, Case{"5f", true, 5e-15},
          Case{"1T", true, 1e12}, Case{"0x10", false, 0}, Case{"nan", false, 0},
          Case{"inf", false, 0}, Case{"1.2.3", false, 0}, Case{"NA", false, 0}, Case{"", false, 0},
          Case{"1e999", false, 0}}) {
        const std::optional<double> v = Number(c.text);
        EXPECT_EQ(v.has_value(), c.ok) << c.text;
        if (c.ok && v) {
            EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
        }
    }
    EXPECT_TRUE(IsNa("na") && IsNa("NA") && IsNa("Na") && !IsNa("NAN"));
    EXPECT_TRUE(IsNc("nc") && !IsNc("N"));
    EXPECT_EQ(Normalise("  Define_Package__Model "), "define package model");
}

TEST(IbisKeywords, should_hold_each_keyword_once_with_a_consistent_section) {
    std::set<std::string> names;
    for (const KeywordDef* k = KeywordsBegin(); k != KeywordsEnd(); ++k) {
        EXPECT_TRUE(names.insert(k->name).second) << k->name;
        EXPECT_EQ(Normalise(k->name), k->name);
        EXPECT_EQ(ParseVersion(VersionText(k->since)), std::optional<int>(k->since)) << k->name;
        EXPECT_EQ(FindKeyword(k->name), k);
        // What opens a section stands at the top level and has rules to read it.
        if (k->opens != Scope::None) {
            EXPECT_EQ(k->scope, Scope::File) << k->name;
            EXPECT_NE(k->section, Section::None) << k->name;
        }
        if (k->endsSection) {
            EXPECT_TRUE(k->scope == Scope::Package || k->scope == Scope::Board) << k->name;
        }
    }
    for (const KeywordDef* k = KeywordsBegin(); k != KeywordsEnd(); ++k) {
        if (k->closedBy == nullptr) continue;
        const KeywordDef* close = FindKeyword(k->closedBy);
        ASSERT_NE(close, nullptr) << k->closedBy;
        EXPECT_EQ(close->scope, k->scope) << k->name;  // closed where it was opened
        EXPECT_EQ(close->closedBy, nullptr) << k->closedBy;
    }
    EXPECT_EQ(FindKeyword("not a keyword"), nullptr);
}

TEST(IbisReader, should_read_algorithmic_models_as_the_checker_reads_lines) {
    const std::string ibs =
        "[IBIS Ver] 5.1\n[Comment Char] #_char\n[Component] My Part  7 # note | not a comment\n"
        "[Pin] signal_name model_name\n1 TX tx_model\n2 GND gnd\n[Model] tx_model\n"
        "[Algorithmic Model]\nExecutable linux_gcc_64 tx|1.so tx.ami # the Linux one\n"
        "Executable Windows_VisualStudio_32 tx.dll\n[End Algorithmic Model]\n[Unclosed\n"
        "Executable linux_gcc_32 no.so no.ami\n[End]\n";
    const IbsModels m = ReadAlgorithmicModels(ibs);
    EXPECT_EQ(m.components, (std::vector<std::string>{"My Part  7"}));
    ASSERT_EQ(m.pinModels.size(), 2u);
    EXPECT_EQ(m.pinModels[0], (std::pair<std::string, std::string>{"My Part  7", "tx_model"}));
    ASSERT_EQ(m.executables.size(), 1u);  // three words is not an Executable line
    EXPECT_EQ(m.executables[0].model, "tx_model");
    EXPECT_EQ(m.executables[0].executable, "tx|1.so");
    EXPECT_EQ(m.executables[0].amiFile, "tx.ami");
    EXPECT_EQ(m.executables[0].line, 9);
}

TEST(IbisCheck, should_judge_each_component_package_by_its_own_rows) {
    // Two components of the same name (itself an error): the first's missing
    // L_pkg is not supplied by the second's [Package].
    const std::string ibs =
        "[IBIS Ver] 5.1\n[File Name] two.ibs\n[File Rev] 1\n"
        "[Component] part\n[Manufacturer] M\n[Package]\nR_pkg 1m NA NA\nC_pkg 1p NA NA\n"
        "[Pin] signal_name model_name\n1 A POWER\n"
        "[Component] part\n[Manufacturer] M\n[Package]\nR_pkg 1m NA NA\nL_pkg 1n NA NA\n"
        "C_pkg 1p NA NA\n[Pin] signal_name model_name\n1 A POWER\n[End]\n";
    const FileResult r = check_support::Check("two.ibs", ibs);
    int missing = 0;
    for (const Report& rep : r.reports)
        if (rep.number == 2005) {
            ++missing;
            EXPECT_EQ(rep.line, 4) << rep.text;
            EXPECT_NE(rep.text.find("L_pkg"), std::string::npos) << rep.text;
        }
    EXPECT_EQ(missing, 1) << check_support::Dump(r);
}

}  // namespace

TEST(Lexer, should_name_in_its_message_exactly_the_versions_it_accepts) {
    // One list: every version the message names parses, and nothing else
    // of the form d.d does.
    const std::string named = ibis::KnownVersionsText();
    int accepted = 0;
    for (int major = 0; major <= 9; ++major)
        for (int minor = 0; minor <= 9; ++minor) {
            const std::string v = std::to_string(major) + "." + std::to_string(minor);
            const bool parses = ibis::ParseVersion(v).has_value();
            accepted += parses;
            EXPECT_EQ(parses, (", " + named + ",").find(", " + v + ",") != std::string::npos) << v;
        }
    EXPECT_EQ(accepted, 16);
}
