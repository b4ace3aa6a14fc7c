#include "LogCapture.h"
#include "ami.h"
#include "cmn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses a copy of text; the tree is freed with the object.
class ParsedTree {
public:
    explicit ParsedTree(const std::string& text) : m_text(text) {
        m_result = GetParsedTree(&m_text[0], &m_tree);
    }
    ~ParsedTree() { FreeParsedTree(&m_tree); }
    ParsedTree(const ParsedTree&) = delete;
    ParsedTree& operator=(const ParsedTree&) = delete;

    int Result() const { return m_result; }
    const TREE_STRUCT* Tree() const { return m_tree; }
    const std::string& Text() const { return m_text; }

    // The stored nodes in document order, one line each: "B level name" or
    // "L level name keyword value/type/stringtype ...".
    std::vector<std::string> Describe() const {
        std::vector<std::string> lines;
        for (int i = 0; m_tree != nullptr && i < m_tree->iNumNodes; ++i) {
            const NODE_STRUCT& node = m_tree->pNodes[i];
            if (node.pNode == nullptr) {
                continue;
            }
            if (node.enumNodeType == NODE_TYPE_BRANCH) {
                const auto* branch = static_cast<const BRANCH_STRUCT*>(node.pNode);
                lines.push_back("B " + std::to_string(node.iLevel) + " " + branch->pszName);
                continue;
            }
            const auto* leaf = static_cast<const LEAF_STRUCT*>(node.pNode);
            std::string line = "L " + std::to_string(node.iLevel) + " " + leaf->pszName + " " +
                               std::to_string(leaf->enumLeafKeyword);
            for (int v = 0; v < leaf->iNumValues; ++v) {
                const VALUE_STRUCT& value = leaf->pValues[v];
                line += " " + std::string(value.pszValue) + "/" + std::to_string(value.enumValueType) +
                        "/" + std::to_string(value.enumStringType);
            }
            lines.push_back(line);
        }
        return lines;
    }

private:
    std::string m_text;
    TREE_STRUCT* m_tree = nullptr;
    int m_result = -1;
};

using Lines = std::vector<std::string>;

const BRANCH_STRUCT& Root(const ParsedTree& parsed) {
    return *static_cast<const BRANCH_STRUCT*>(parsed.Tree()->pNodes[0].pNode);
}

TEST(ParameterTree, MalformedTextsGiveTheirResultCodes) {
    const struct {
        const char* text;
        int code;
    } cases[] = {
        {"", AMI_PARSE_NO_OPENING_PARENTHESIS},
        {" \t\n ", AMI_PARSE_NO_OPENING_PARENTHESIS},
        {")(", AMI_PARSE_NO_OPENING_PARENTHESIS},
        {"(a", AMI_PARSE_MISMATCHED_PARENTHESES},
        {"(a))", AMI_PARSE_MISMATCHED_PARENTHESES},
        {"(r (a \"1))", AMI_PARSE_MISMATCHED_PARENTHESES},
        {"(DE 3)", AMI_PARSE_TOO_FEW_NODES},
        {"(a b (c))", AMI_PARSE_TOO_FEW_NODES},  // the only node is a dropped leaf
        {"(r (a 1)) (b 2)", AMI_PARSE_SECOND_ROOT},
        {"()", AMI_PARSE_UNMATCHED_CLOSING},
        {"(a)", AMI_PARSE_UNMATCHED_CLOSING},
        {"(r (a))", AMI_PARSE_UNMATCHED_CLOSING},
        {"(r (s (a 1) x ) (b 2))", AMI_PARSE_NAME_ENDS_BEFORE_START},
        // Stray text after a dropped leaf yields a root at level 0 whose
        // branch child would be pushed past the end of the linking stack.
        {"(\"\" b()())\"((", AMI_PARSE_SECOND_ROOT},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        TREE_STRUCT untouched;
        TREE_STRUCT* out = &untouched;
        EXPECT_EQ(GetParsedTree(&text[0], &out), c.code) << c.text;
        EXPECT_EQ(out, &untouched) << c.text;
    }
    TREE_STRUCT* out = nullptr;
    EXPECT_EQ(GetParsedTree(nullptr, &out), AMI_PARSE_TOO_FEW_NODES);
    std::string text = "(r (a 1))";
    EXPECT_EQ(GetParsedTree(&text[0], nullptr), AMI_PARSE_TOO_FEW_NODES);
}

TEST(ParameterTree, ResultCodesAreReportedAsErrorsOrProgramBugs) {
    LogCapture log;
    EXPECT_EQ(ReportParseResult(AMI_PARSE_SUCCESS), 0);
    EXPECT_EQ(ReportParseResult(AMI_PARSE_MISMATCHED_PARENTHESES), 4619);
    EXPECT_EQ(ReportParseResult(AMI_PARSE_SECOND_ROOT), 4621);
    EXPECT_EQ(ReportParseResult(AMI_PARSE_NAME_ENDS_BEFORE_START), 4634);
    EXPECT_EQ(log.Take(),
              "ERROR - The AMI parameter file has mismatched parenthesis\n"
              "PROGRAM BUG - Internal error while parsing AMI Parameter file\n"
              "ERROR -\n    Invalid syntax of branch or leaf. At least 2 elements expected in a list\n");
}

TEST(ParameterTree, ParameterFileExampleGivesBranchesLeavesAndKeywords) {
    ParsedTree parsed(
        "(Orvex_TX_AMI_01142014 (Reserved_Parameters (AMI_Version (Type String) (Default 5.1)))"
        " (Model_Specific (DE (Usage In) (Type Integer) (Range 0 0 7) (Default 3))))");
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(), (Lines{"B 1 Orvex_TX_AMI_01142014", "B 2 Reserved_Parameters",
                                        "B 3 AMI_Version", "L 4 Type 2 String/0/6",
                                        "L 4 Default 4 5.1/3/-1", "B 2 Model_Specific", "B 3 DE",
                                        "L 4 Usage 1 In/0/0", "L 4 Type 2 Integer/0/5",
                                        "L 4 Range 0 0/1/-1 0/1/-1 7/1/-1", "L 4 Default 4 3/1/-1"}));
    EXPECT_EQ(parsed.Tree()->iNumNodes, 11);
    const BRANCH_STRUCT& root = Root(parsed);
    ASSERT_EQ(root.iNumChildren, 2);
    const auto* modelSpecific = static_cast<const BRANCH_STRUCT*>(root.pChildren[1].pNode);
    EXPECT_STREQ(modelSpecific->pszName, "Model_Specific");
    ASSERT_EQ(modelSpecific->iNumChildren, 1);
    EXPECT_EQ(static_cast<const BRANCH_STRUCT*>(modelSpecific->pChildren[0].pNode)->iNumChildren, 4);
}

TEST(ParameterTree, ValuesAreSplitQuotedAndClassified) {
    ParsedTree parsed("(r (a  1   2.5 True false ) (q \"x (y) z\" \"\" \"Dual-Dirac\") (E 1e3 -0.5 +7 5ns))");
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(),
              (Lines{"B 1 r", "L 2 a 0 1/1/-1 2.5/3/-1 True/2/-1 false/0/-1",
                     "L 2 q 0 x (y) z/0/-1 /-1/-1 Dual-Dirac/0/18",
                     "L 2 E 0 1e3/3/-1 -0.5/3/-1 +7/1/-1 5ns/0/-1"}));
    // The caller's text keeps its quotes.
    EXPECT_NE(parsed.Text().find("\"x (y) z\""), std::string::npos);
}

TEST(ParameterTree, LeavesHoldingListsAreDroppedWhole) {
    ParsedTree parsed("(r (a 1 (b 2)) (c 3))");
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(), (Lines{"B 1 r", "L 2 c 0 3/1/-1"}));
    EXPECT_EQ(parsed.Tree()->iNumNodes, 4);
    EXPECT_EQ(Root(parsed).iNumChildren, 1);

    // A dropped leaf that is the last node leaves no record behind.
    ParsedTree last("(r (a 1) (Format Table (Labels \"x)\" y) (1 2)))");
    ASSERT_EQ(last.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(last.Describe(), (Lines{"B 1 r", "L 2 a 0 1/1/-1"}));
}

TEST(ParameterTree, PrettyPrintedTextWithLongIndentationParses) {
    const std::string indent(300, ' ');
    const std::string tabs(200, '\t');
    ParsedTree parsed("\n" + indent + "(Orvex_RX_AMI_05272013\n" + tabs + "(EQ_Level" + indent + "3)\r\n" +
                      indent + "(Rx_config\t\t1" + tabs + ")\n" + indent + ")\n" + indent);
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(),
              (Lines{"B 1 Orvex_RX_AMI_05272013", "L 2 EQ_Level 0 3/1/-1", "L 2 Rx_config 0 1/1/-1"}));
}

TEST(ParameterTree, UnclosedQuoteEndsAtTheEndOfTheText) {
    // Balanced for the counter, but the scan sees the second quote open a
    // value that never closes.
    ParsedTree parsed("(r (a x\" \"y))");
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(), (Lines{"B 1 r", "L 2 a 0 x\"/0/-1 y))/0/-1"}));

    ParsedTree dropped("(r (a 1) (b x\" (c \"d))");
    EXPECT_EQ(dropped.Result(), AMI_PARSE_SUCCESS);
}

TEST(ParameterTree, EmptyRootNameAndCaseAreKept) {
    ParsedTree parsed("( (De 3) (de \"In\"))");
    ASSERT_EQ(parsed.Result(), AMI_PARSE_SUCCESS);
    EXPECT_EQ(parsed.Describe(), (Lines{"B 1 ", "L 2 De 0 3/1/-1", "L 2 de 0 In/0/0"}));
}

TEST(ParameterTree, BalanceCountsParenthesesOutsideQuotes) {
    int count = -1;
    EXPECT_EQ(ISValidBuffer("(a \"(\" (b \")\"))", &count), 1);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ISValidBuffer("(a (b)", &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ISValidBuffer(nullptr, &count), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ISValidBuffer("()", nullptr), 1);
}

TEST(ParameterTree, ValueTypes) {
    EXPECT_EQ(GetValueType(nullptr), VALUE_TYPE_NONE);
    EXPECT_EQ(GetValueType(""), VALUE_TYPE_NONE);
    EXPECT_EQ(GetValueType("-12"), VALUE_TYPE_INTEGER);
    EXPECT_EQ(GetValueType("99999999999999999999"), VALUE_TYPE_INTEGER);
    EXPECT_EQ(GetValueType("1e300"), VALUE_TYPE_FLOAT);
    EXPECT_EQ(GetValueType("nan"), VALUE_TYPE_FLOAT);
    EXPECT_EQ(GetValueType("False"), VALUE_TYPE_BOOLEAN);
    EXPECT_EQ(GetValueType("TRUE"), VALUE_TYPE_STRING);
    EXPECT_EQ(GetValueType("3 4"), VALUE_TYPE_STRING);
}

TEST(ParameterTree, EveryFailedAllocationFailsTheParseCleanly) {
    const std::string text =
        "(Orvex_TX_AMI_01142014 (Model_Specific (DE (Usage In) (Range 3 0 7) (List_Tip \"a b\" c)"
        " (Format Table (Labels x) (1 2)))) (VOD 5) (gain 1.0))";
    LogCapture log;
    ERRLOG_SuppressErrors(1);
    ERRLOG_SuppressBugs(1);
    int failures = 0;
    for (long successes = 0;; ++successes) {
        CMN_SimulateAllocationFailure(successes);
        ParsedTree parsed(text);
        CMN_SimulateAllocationFailure(-1);
        if (parsed.Result() == AMI_PARSE_SUCCESS) {
            EXPECT_EQ(parsed.Describe().size(), 8u);
            break;
        }
        ASSERT_EQ(parsed.Result(), AMI_PARSE_OUT_OF_MEMORY) << "allocation " << successes;
        EXPECT_EQ(parsed.Tree(), nullptr);
        ++failures;
    }
    // Tree, node array, copy, names, records, values, value and child
    // arrays, linking stack: every one of them was made to fail.
    EXPECT_GT(failures, 40);
}

TEST(CommonUtilities, AllocationFailuresAreLoggedAndLeaveTheCallerSound) {
    LogCapture log;
    void* block = nullptr;
    ASSERT_EQ(CMN_malloc(&block, 16), 1);
    EXPECT_EQ(static_cast<unsigned char*>(block)[15], 0);

    CMN_SimulateAllocationFailure(0);
    EXPECT_EQ(CMN_realloc(&block, 40), 0);
    EXPECT_NE(block, nullptr);  // the old block is still the caller's
    CMN_SimulateAllocationFailure(0);
    void* other = &block;
    EXPECT_EQ(CMN_malloc(&other, 24), 0);
    EXPECT_EQ(other, nullptr);
    CMN_SimulateAllocationFailure(0);
    EXPECT_EQ(CMN_StrMake("abc"), nullptr);
    EXPECT_EQ(log.Take(),
              "ERROR - Memory reallocation failed.  This request 40.\n"
              "ERROR - Memory allocation failed.  This request 24.\n"
              "PROGRAM BUG - Unable to Allocate Memory: cmn 1878\n");
    CMN_freeSetNull(&block);
    EXPECT_EQ(block, nullptr);

    char* prefix = CMN_StrMakeN("ab", 5);  // stops at the terminator
    ASSERT_NE(prefix, nullptr);
    EXPECT_STREQ(prefix, "ab");
    void* prefixBlock = prefix;
    CMN_freeSetNull(&prefixBlock);
    EXPECT_EQ(CMN_StrMakeN("ab", -1), nullptr);
}

TEST(CommonUtilitiesDeathTest, MisuseAbortsTheProcess) {
    void* block = nullptr;
    EXPECT_DEATH(CMN_malloc(&block, 0), "");
    EXPECT_DEATH(CMN_malloc(nullptr, 8), "");
    EXPECT_DEATH(CMN_freeSetNull(&block), "");
}

}  // namespace
