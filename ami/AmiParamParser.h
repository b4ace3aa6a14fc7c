// Typed lookup of model parameters in an AMI parameter string.
//
// A ParamParser parses the string once, on construction, and then answers
// questions of the form "the leaf at this dotted path, as an int, a double,
// a bool or a string", each with a yes-or-no answer so that the caller can
// keep its default and say so when a parameter is missing or of the wrong
// kind. A path joins with "." the names of the root, of every branch on the
// way down and of the leaf: "Orvex_TX_AMI_01142014.DE" is the leaf DE right
// under the root. Names compare exactly, case-sensitively; only the first
// value of a leaf is ever read, and the first leaf in document order wins.
#ifndef TESSEL_AMI_PARAM_PARSER_H
#define TESSEL_AMI_PARAM_PARSER_H

#include "ami.h"

namespace Tessel {
namespace AMI {

class ParamParser {
public:
    // A null text parses like an empty one: every lookup answers false.
    explicit ParamParser(const char* text);
    ~ParamParser();

    ParamParser(const ParamParser&) = delete;
    ParamParser& operator=(const ParamParser&) = delete;

    // True when the text parsed.
    bool IsValid() const { return m_bValid; }
    // The parsed tree, or null when the text did not parse.
    const TREE_STRUCT* GetTree() const { return m_pTree; }

    // The leaf at the path, or null.
    const LEAF_STRUCT* GetLeaf(const char* path) const;

    // Depth-first search of branch for the leaf whose full path is `path`;
    // `prefix` is the path of the branch's parent ("" for the root). The
    // stack it needs does not grow with the depth of the tree.
    static const LEAF_STRUCT* FindLeafWithName(const BRANCH_STRUCT* branch, const char* path,
                                               const char* prefix);
    // True when the branch has children and the first one is a leaf.
    static bool IsParamLeafBranch(const BRANCH_STRUCT* branch);

    // Each answers false, leaving `out` untouched, when there is no leaf at
    // the path or its first value is of another type.
    //
    // Integer or float values, converted like atof but always in the "C"
    // locale: "0.5" is one half whatever locale the host has set.
    bool GetValue(double& out, const char* path) const;
    // Integer or float values truncated toward zero ("2.7" reads as 2);
    // false for values that are not finite or do not fit an int.
    bool GetValue(int& out, const char* path) const;
    // Exactly "True" or "False".
    bool GetValue(bool& out, const char* path) const;
    // String values (neither numbers nor booleans). The array `out` held,
    // if any, is deleted with delete[]; out receives a new[] copy that the
    // caller owns.
    bool GetValue(char*& out, const char* path) const;

private:
    const VALUE_STRUCT* FirstValueOfType(const char* path, int type1, int type2) const;

    bool m_bValid;
    TREE_STRUCT* m_pTree;
};

}  // namespace AMI
}  // namespace Tessel

#endif
