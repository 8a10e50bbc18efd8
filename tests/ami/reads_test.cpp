// Typed reads by dotted name.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ami_alloc.h"
#include "ami_parameters.h"

namespace {

enum class Read { Int, Double, Bool };

struct Case {
    const char* text;
    const char* name;
    Read read;
    bool found;
    double value;  // the int, double or bool (0/1) read
};

}  // namespace

TEST(AmiReads, should_read_by_dotted_name_as_documented) {
    const char* m = "(m (p 3) (q -2.7) (r 1e3) (s \"5\"))";
    const Case cases[] = {
        {m, "m.p", Read::Int, true, 3},
        {m, "m.q", Read::Int, true, -2},
        {m, "m.r", Read::Int, true, 1000},
        {m, "m.s", Read::Int, true, 5},
        {m, "m.q", Read::Double, true, -2.7},
        {m, "p", Read::Int, false, 0},
        {m, "m.P", Read::Int, false, 0},
        {m, "m.p.x", Read::Int, false, 0},
        {m, "m.", Read::Int, false, 0},
        {"(m (p 1 2))", "m.p", Read::Int, true, 1},
        {"(m (p 1) (p 2))", "m.p", Read::Int, true, 1},
        {"(m (s (p 1)) (p 2))", "m.p", Read::Int, true, 2},
        {"(m (s (p 1)) (p 2))", "m.s.p", Read::Int, true, 1},
        {"(m (s (p 1)) (s (p 2)))", "m.s.p", Read::Int, true, 1},
        {"(m (s (q 1)) (s (p 2)))", "m.s.p", Read::Int, true, 2},
        {"(m (a.b 1) (a (b 2)))", "m.a.b", Read::Int, true, 1},
        {"(m (a (b 2)) (a.b 1))", "m.a.b", Read::Int, true, 2},
        {"(m (s (p 1)))", "m.s", Read::Int, false, 0},
        {"(m (p True))", "m.p", Read::Int, false, 0},
        {"(m (p True))", "m.p", Read::Bool, true, 1},
        {"(m (p False))", "m.p", Read::Bool, true, 0},
        {"(m (p true))", "m.p", Read::Int, false, 0},
        {"(m (p true))", "m.p", Read::Bool, false, 0},
        {"(m (p abc))", "m.p", Read::Int, false, 0},
        {"(m (p \"\"))", "m.p", Read::Int, false, 0},
        {"(m (p 1))", "m.p", Read::Bool, false, 0},
        {"((p 4))", "p", Read::Int, true, 4},
        {"(m (p 2.9) (q -1.5))", "m.q", Read::Int, true, -1},
        {"(m (p 3e9))", "m.p", Read::Int, true, 2147483647},
        {"(m (p -1e300))", "m.p", Read::Int, true, -2147483648.0},
        {"(m (p 1e999))", "m.p", Read::Int, true, 2147483647},
        {"(m (p 99999999999))", "m.p", Read::Double, true, 99999999999.0},
        {"(m (p) (q 1))", "m.q", Read::Int, false, 0},  // failed parse
        {"(a 1 (b 2))", "a", Read::Int, false, 0},      // nothing kept
        {"(m (Usage (Default 3)))", "m.Usage", Read::Int, false, 0},
    };
    for (const Case& c : cases) {
        AmiParameters params(c.text);
        std::int32_t i = 7;
        double d = 7;
        bool b = false;
        bool found = false;
        double got = 0;
        switch (c.read) {
            case Read::Int:
                found = params.GetInt(i, c.name);
                got = i;
                if (!found) {
                    EXPECT_EQ(i, 7);
                }
                break;
            case Read::Double:
                found = params.GetDouble(d, c.name);
                got = d;
                if (!found) {
                    EXPECT_EQ(d, 7);
                }
                break;
            case Read::Bool:
                found = params.GetBool(b, c.name);
                got = b ? 1 : 0;
                break;
        }
        EXPECT_EQ(found, c.found) << c.text << " " << c.name;
        if (c.found) {
            EXPECT_EQ(got, c.value) << c.text << " " << c.name;
        }
    }
}

TEST(AmiReads, should_fail_every_read_without_a_tree) {
    AmiParameters none(nullptr);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.tree, nullptr);
    std::int32_t i = 7;
    EXPECT_FALSE(none.GetInt(i, "m.p"));
    EXPECT_EQ(i, 7);
    AmiParameters bad("(r (a 1)");
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.resultCode, 1);
    EXPECT_EQ(bad.FindLeaf("r.a"), nullptr);
}

TEST(AmiReads, should_find_a_leaf_under_deep_nesting) {
    const int depth = 100000;
    std::string text = "(m ";
    std::string name = "m";
    for (int k = 0; k < depth; ++k) {
        text += "(b (x 0) ";
        name += ".b";
    }
    text += "(p 9)";
    text.append(depth + 1, ')');
    AmiParameters params(text.c_str());
    ASSERT_TRUE(params.ok);
    std::int32_t v = 0;
    EXPECT_TRUE(params.GetInt(v, (name + ".p").c_str()));
    EXPECT_EQ(v, 9);
    EXPECT_FALSE(params.GetInt(v, (name + ".q").c_str()));
    EXPECT_TRUE(params.GetInt(v, "m.b.b.x"));
    EXPECT_EQ(v, 0);
}
