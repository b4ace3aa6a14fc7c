// Fuzz target of the parameter-string parser: any input is parsed, looked
// up and freed, once normally and once with one allocation made to fail,
// and the tree's own invariants are checked.
#include "AmiParamParser.h"
#include "ModelParameters.h"
#include "ami.h"
#include "cmn.h"
#include "errlog.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every child refers to a record of the node array, and every stored leaf
// has at least one value with text. Linear in the tree (inputs reach
// hundreds of thousands of nodes).
void CheckTree(const TREE_STRUCT& tree) {
    Require(tree.iNumNodes >= 1 && tree.pNodes != nullptr);
    std::vector<const void*> records;
    for (int i = 0; i < tree.iNumNodes; ++i) {
        records.push_back(tree.pNodes[i].pNode);
    }
    std::sort(records.begin(), records.end());
    const auto isRecordOfTree = [&records](const void* record) {
        return std::binary_search(records.begin(), records.end(), record);
    };
    Require(tree.pNodes[0].enumNodeType == NODE_TYPE_BRANCH && tree.pNodes[0].pNode != nullptr);
    for (int i = 0; i < tree.iNumNodes; ++i) {
        const NODE_STRUCT& node = tree.pNodes[i];
        if (node.pNode == nullptr) {
            continue;
        }
        if (node.enumNodeType == NODE_TYPE_LEAF) {
            const auto* leaf = static_cast<const LEAF_STRUCT*>(node.pNode);
            Require(leaf->pszName != nullptr && leaf->iNumValues >= 1);
            for (int v = 0; v < leaf->iNumValues; ++v) {
                Require(leaf->pValues[v].pszValue != nullptr);
            }
            continue;
        }
        const auto* branch = static_cast<const BRANCH_STRUCT*>(node.pNode);
        Require(branch->pszName != nullptr);
        for (int c = 0; c < branch->iNumChildren; ++c) {
            Require(isRecordOfTree(branch->pChildren[c].pNode));
        }
    }
}

void LookUp(const Tessel::AMI::ParamParser& parser) {
    static const char* const paths[] = {"Orvex_TX_AMI_01142014.DE", "Orvex_RX_AMI_05272013.EQ_Level",
                                        "r.a", "a", "", ".", "r..a"};
    for (const char* path : paths) {
        int integer = 0;
        double real = 0.0;
        bool flag = false;
        char* text = nullptr;
        parser.GetValue(integer, path);
        parser.GetValue(real, path);
        parser.GetValue(flag, path);
        if (parser.GetValue(text, path)) {
            Require(text != nullptr);
        }
        delete[] text;
    }
    double settings[3] = {0.0, 0.0, 0.0};
    const Tessel::AMI::ModelParameter table[] = {
        Tessel::AMI::ModelParameter::RealFittingInt("EQ_Level", settings[0]),
        Tessel::AMI::ModelParameter::Real("a", settings[1]),
        Tessel::AMI::ModelParameter::RealFittingInt("DE", settings[2]),
    };
    std::string message;
    Tessel::AMI::LoadModelParameters("r", parser, table, message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        ERRLOG_SuppressErrors(1);
        ERRLOG_SuppressBugs(1);
        return true;
    }();
    (void)quiet;

    char* text = new char[size + 1];
    std::memcpy(text, data, size);
    text[size] = '\0';
    {
        Tessel::AMI::ParamParser parser(text);
        if (parser.IsValid()) {
            CheckTree(*parser.GetTree());
        }
        LookUp(parser);
    }
    // The same text with one allocation failing, chosen by the input.
    CMN_SimulateAllocationFailure(static_cast<long>(size % 61));
    TREE_STRUCT* tree = nullptr;
    const int result = GetParsedTree(text, &tree);
    CMN_SimulateAllocationFailure(-1);
    Require((result == AMI_PARSE_SUCCESS) == (tree != nullptr));
    FreeParsedTree(&tree);
    delete[] text;
    return 0;
}
