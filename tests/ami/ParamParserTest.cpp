#include "AmiParamParser.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Tessel::AMI::ParamParser;

TEST(ParamParser, FailedParseAnswersEveryLookupFalse) {
    for (const char* text : {"(DE 3)", "(r (a 1)", "", static_cast<const char*>(nullptr)}) {
        ParamParser parser(text);
        EXPECT_FALSE(parser.IsValid());
        EXPECT_EQ(parser.GetTree(), nullptr);
        int number = 7;
        EXPECT_FALSE(parser.GetValue(number, "DE"));
        EXPECT_FALSE(parser.GetValue(number, "r.a"));
        EXPECT_EQ(number, 7);
        EXPECT_EQ(parser.GetLeaf(""), nullptr);
    }
}

TEST(ParamParser, PathsMatchWholeCaseSensitiveNamesFromTheRoot) {
    ParamParser parser(
        "(Orvex_TX_AMI_01142014 (DE 3) (VOD 5) (Model_Specific (DE 6) (Sub (gain 0.5)))"
        " (VOD 9))");
    ASSERT_TRUE(parser.IsValid());
    int value = -1;
    EXPECT_TRUE(parser.GetValue(value, "Orvex_TX_AMI_01142014.DE"));
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(parser.GetValue(value, "Orvex_TX_AMI_01142014.Model_Specific.DE"));
    EXPECT_EQ(value, 6);
    EXPECT_TRUE(parser.GetValue(value, "Orvex_TX_AMI_01142014.VOD"));
    EXPECT_EQ(value, 5);  // the first of two equal paths wins
    double gain = 0.0;
    EXPECT_TRUE(parser.GetValue(gain, "Orvex_TX_AMI_01142014.Model_Specific.Sub.gain"));
    EXPECT_EQ(gain, 0.5);

    value = -1;
    for (const char* wrong : {"DE", "orvex_tx_ami_01142014.DE", "Orvex_TX_AMI_01142014",
                              "Orvex_TX_AMI_01142014.Model_Specific", "Orvex_TX_AMI_01142014.D",
                              "Orvex_TX_AMI_01142014.DEx", "Orvex_TX_AMI_01142014.Sub.gain",
                              "Orvex_TX_AMI_01142014..DE", "Orvex_TX_AMI_01142014.DE."}) {
        EXPECT_FALSE(parser.GetValue(value, wrong)) << wrong;
    }
    EXPECT_FALSE(parser.GetValue(value, nullptr));
    EXPECT_EQ(value, -1);

    ParamParser unnamed("( (DE 3) (inner (VOD 4)))");
    EXPECT_TRUE(unnamed.GetValue(value, "DE"));
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(unnamed.GetValue(value, "inner.VOD"));
    EXPECT_FALSE(unnamed.GetValue(value, ".DE"));
}

TEST(ParamParser, NumbersReadAsDoubleAndTruncateTowardZeroAsInt) {
    ParamParser parser("(m (a 1e3) (b 3) (c 2.7) (d -2.7) (e 4 text) (f True) (g abc) (h 5ns) (i +7))");
    double real = 0.0;
    EXPECT_TRUE(parser.GetValue(real, "m.b"));
    EXPECT_EQ(real, 3.0);
    EXPECT_TRUE(parser.GetValue(real, "m.d"));
    EXPECT_EQ(real, -2.7);
    const struct {
        const char* path;
        int expected;
    } integers[] = {{"m.a", 1000}, {"m.c", 2}, {"m.d", -2}, {"m.e", 4}, {"m.i", 7}};
    for (const auto& c : integers) {
        int value = -99;
        EXPECT_TRUE(parser.GetValue(value, c.path)) << c.path;
        EXPECT_EQ(value, c.expected) << c.path;
    }
    for (const char* path : {"m.f", "m.g", "m.h"}) {
        int value = -99;
        real = -99.0;
        EXPECT_FALSE(parser.GetValue(value, path)) << path;
        EXPECT_FALSE(parser.GetValue(real, path)) << path;
        EXPECT_EQ(value, -99);
        EXPECT_EQ(real, -99.0);
    }
}

TEST(ParamParser, IntReadingRejectsValuesThatAreNotFiniteOrOutOfRange) {
    ParamParser parser(
        "(m (big 1e300) (nan nan) (inf inf) (minf -inf) (over 2147483648) (under -2147483649)"
        " (huge 99999999999999999999) (top 2147483647.9) (bottom -2147483648.9))");
    for (const char* path : {"m.big", "m.nan", "m.inf", "m.minf", "m.over", "m.under", "m.huge"}) {
        int value = 11;
        EXPECT_FALSE(parser.GetValue(value, path)) << path;
        EXPECT_EQ(value, 11);
    }
    int value = 0;
    EXPECT_TRUE(parser.GetValue(value, "m.top"));
    EXPECT_EQ(value, 2147483647);
    EXPECT_TRUE(parser.GetValue(value, "m.bottom"));
    EXPECT_EQ(value, -2147483647 - 1);
    double real = 0.0;
    EXPECT_TRUE(parser.GetValue(real, "m.big"));  // as a double it is fine
    EXPECT_EQ(real, 1e300);
}

TEST(ParamParser, BooleansAndStringsNeedTheirOwnTypes) {
    ParamParser parser("(m (t True) (f False) (lower true) (one 1) (s \"hello world\") (n 12) (w Mode))");
    bool flag = false;
    EXPECT_TRUE(parser.GetValue(flag, "m.t"));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(parser.GetValue(flag, "m.f"));
    EXPECT_FALSE(flag);
    flag = true;
    EXPECT_FALSE(parser.GetValue(flag, "m.lower"));
    EXPECT_FALSE(parser.GetValue(flag, "m.one"));
    EXPECT_TRUE(flag);

    char* text = new char[4];
    std::strcpy(text, "old");
    EXPECT_FALSE(parser.GetValue(text, "m.n"));
    EXPECT_FALSE(parser.GetValue(text, "m.t"));
    EXPECT_STREQ(text, "old");
    EXPECT_TRUE(parser.GetValue(text, "m.s"));  // replaces (and frees) the old array
    EXPECT_STREQ(text, "hello world");
    EXPECT_TRUE(parser.GetValue(text, "m.w"));
    EXPECT_STREQ(text, "Mode");
    delete[] text;
}

TEST(ParamParser, LeafSearchHelpers) {
    ParamParser parser("(r (a 1) (b (c 2)) (d (e (f 3))))");
    const TREE_STRUCT* tree = parser.GetTree();
    ASSERT_NE(tree, nullptr);
    const auto* root = static_cast<const BRANCH_STRUCT*>(tree->pNodes[0].pNode);
    const auto* b = static_cast<const BRANCH_STRUCT*>(root->pChildren[1].pNode);
    const auto* d = static_cast<const BRANCH_STRUCT*>(root->pChildren[2].pNode);
    EXPECT_TRUE(ParamParser::IsParamLeafBranch(root));
    EXPECT_TRUE(ParamParser::IsParamLeafBranch(b));
    EXPECT_FALSE(ParamParser::IsParamLeafBranch(d));
    const LEAF_STRUCT* c = ParamParser::FindLeafWithName(b, "r.b.c", "r");
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->pszName, "c");
    EXPECT_EQ(ParamParser::FindLeafWithName(b, "r.b.c", "q"), nullptr);
    EXPECT_EQ(ParamParser::FindLeafWithName(b, "b.c", ""), c);
    EXPECT_EQ(parser.GetLeaf("r.d.e.f"), ParamParser::FindLeafWithName(d, "r.d.e.f", "r"));
}

#if TESSEL_CHECKED
TEST(ParamParserDeathTest, NullBranchIsAProgrammingError) {
    EXPECT_DEATH(ParamParser::FindLeafWithName(nullptr, "a", ""), "Precondition failed: AmiParamParser: branch");
    EXPECT_DEATH(ParamParser::IsParamLeafBranch(nullptr), "Precondition failed: AmiParamParser: branch");
}
#else
TEST(ParamParser, NullBranchFindsNothingWithoutChecks) {
    EXPECT_EQ(ParamParser::FindLeafWithName(nullptr, "a", ""), nullptr);
    EXPECT_FALSE(ParamParser::IsParamLeafBranch(nullptr));
}
#endif

}  // namespace
