// The parameter parser and its log under what hosts do to them: text nested
// a million levels deep, worker threads with small stacks, a comma-decimal
// process locale, values with a hundred thousand entries, and several
// threads reporting at once.
#include "AmiParamParser.h"
#include "HostConditions.h"
#include "LogCapture.h"
#include "ami.h"
#include "cmn.h"
#include "errlog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using Tessel::AMI::ParamParser;

// Parses, looks up and frees the text; the leaf r.a must read as 0.5.
void ExpectDeepLeafFound(const std::string& text) {
    ParamParser parser(text.c_str());
    ASSERT_TRUE(parser.IsValid());
    double value = 0.0;
    EXPECT_TRUE(parser.GetValue(value, "r.a"));
    EXPECT_EQ(value, 0.5);
    EXPECT_FALSE(parser.GetValue(value, "r.b"));  // a miss walks every level
}

TEST(ParserUnderHostConditions, DepthOfNestingNeedsNoStack) {
    ExpectDeepLeafFound(NestedParameterString(1000000, "(r (a 0.5))"));
    // 10 KB of nesting in a worker thread with a 128 KiB stack.
    const std::string tenKilobytes = NestedParameterString(5000, "(r (a 0.5))");
    ASSERT_TRUE(RunOnSmallStack(128 * 1024, [&] { ExpectDeepLeafFound(tenKilobytes); }));
}

TEST(ParserUnderHostConditions, NumbersReadTheSameUnderACommaDecimalLocale) {
    CommaDecimalLocale comma;
    if (!comma.Active()) GTEST_SKIP() << comma.Problem();
    EXPECT_EQ(GetValueType("0.5"), VALUE_TYPE_FLOAT);
    EXPECT_EQ(GetValueType("0,5"), VALUE_TYPE_STRING);
    EXPECT_EQ(GetValueType("0x1p-1"), VALUE_TYPE_FLOAT);
    EXPECT_EQ(GetValueType("-inf"), VALUE_TYPE_FLOAT);

    ParamParser parser("(m (half 0.5) (hex 0x1p-1) (comma 0,5) (big 1e3))");
    double value = 0.0;
    EXPECT_TRUE(parser.GetValue(value, "m.half"));
    EXPECT_EQ(value, 0.5);
    EXPECT_TRUE(parser.GetValue(value, "m.hex"));
    EXPECT_EQ(value, 0.5);
    EXPECT_TRUE(parser.GetValue(value, "m.big"));
    EXPECT_EQ(value, 1000.0);
    value = -1.0;
    EXPECT_FALSE(parser.GetValue(value, "m.comma"));
    EXPECT_EQ(value, -1.0);
    char* text = nullptr;
    EXPECT_TRUE(parser.GetValue(text, "m.comma"));
    EXPECT_STREQ(text, "0,5");
    delete[] text;
}

TEST(ParserUnderHostConditions, LongListsGrowTheirArraysGeometrically) {
    const int entries = 100000;
    std::string values = "(m (list";
    std::string leaves = " (wide";
    for (int i = 0; i < entries; ++i) {
        values += " 1";
        leaves += " (x 1)";
    }
    const std::string text = values + ")" + leaves + "))";
    const unsigned long before = CMN_ReallocationCount();
    ParamParser parser(text.c_str());
    const unsigned long reallocations = CMN_ReallocationCount() - before;
    ASSERT_TRUE(parser.IsValid());
    const auto* root = static_cast<const BRANCH_STRUCT*>(parser.GetTree()->pNodes[0].pNode);
    ASSERT_EQ(root->iNumChildren, 2);
    EXPECT_EQ(static_cast<const LEAF_STRUCT*>(root->pChildren[0].pNode)->iNumValues, entries);
    EXPECT_EQ(static_cast<const BRANCH_STRUCT*>(root->pChildren[1].pNode)->iNumChildren, entries);
    // Doubling: about log2(100000) = 17 per array, not one per entry.
    EXPECT_LE(reallocations, 2u * 18u);
}

TEST(ParserUnderHostConditions, ConcurrentReportsAreCountedAndWrittenWhole) {
    LogCapture log;
    unsigned long errorsBefore = 0;
    ERRLOG_GetCounts(nullptr, &errorsBefore, nullptr);
    const unsigned threads = 8, reports = 2000;
    std::vector<std::thread> reporters;
    for (unsigned t = 0; t < threads; ++t) {
        reporters.emplace_back([t] {
            for (unsigned i = 0; i < reports; ++i) ERRLOG_ErrorNew(ERRLOG_MSG_ALLOC_FAILED, t);
        });
    }
    for (std::thread& reporter : reporters) reporter.join();
    unsigned long errorsAfter = 0;
    ERRLOG_GetCounts(nullptr, &errorsAfter, nullptr);
    EXPECT_EQ(errorsAfter - errorsBefore, threads * reports);

    const std::string written = log.Take();
    size_t lines = 0, start = 0;
    for (size_t end; (end = written.find('\n', start)) != std::string::npos; start = end + 1, ++lines) {
        const std::string line = written.substr(start, end - start);
        ASSERT_EQ(line.rfind("ERROR - Memory allocation failed.  This request ", 0), 0u) << line;
    }
    EXPECT_EQ(lines, threads * reports);
}

}  // namespace
