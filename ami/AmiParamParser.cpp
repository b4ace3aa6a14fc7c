#include "AmiParamParser.h"

#include "Precondition.h"
#include "cmn.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace Tessel {
namespace AMI {

namespace {

// Paths are matched piece by piece against the path text instead of being
// built, so a lookup allocates nothing. A "full name" is represented by its
// length, being a prefix of the path, and whether it is empty: the empty
// full name joins a child's name without a dot.
struct FullName {
    std::size_t length;
    bool empty;
};

// Whether the join of `parent` and `name` is a prefix of the path; if so,
// `joined` receives it.
bool JoinIsPrefixOfPath(const char* path, FullName parent, const char* name, FullName& joined) {
    if (name == nullptr) {
        name = "";
    }
    std::size_t position = parent.length;
    if (!parent.empty) {
        if (path[position] != '.') {
            return false;
        }
        ++position;
    }
    const std::size_t nameLength = std::strlen(name);
    if (std::strncmp(path + position, name, nameLength) != 0) {
        return false;
    }
    joined.length = position + nameLength;
    joined.empty = parent.empty && nameLength == 0;
    return true;
}

bool LeafHasPath(const char* path, FullName parent, const LEAF_STRUCT& leaf) {
    FullName joined = {0, true};
    return JoinIsPrefixOfPath(path, parent, leaf.pszName, joined) && path[joined.length] == '\0';
}

// One branch being searched: its full name and the next child to look at.
struct SearchFrame {
    const BRANCH_STRUCT* branch;
    FullName full;
    int nextChild;
};

// Depth-first search in document order, the first match winning. The walk
// keeps its own stack of open branches on the heap, so that text nested a
// million levels deep needs no more of the caller's stack than a flat one.
const LEAF_STRUCT* SearchBranch(const BRANCH_STRUCT& root, const char* path, FullName prefix) {
    std::vector<SearchFrame> open;
    // Enters a branch whose full name can still lead to the path.
    auto enter = [&open, path](const BRANCH_STRUCT& branch, FullName parent) {
        FullName full = {0, true};
        if (branch.iNumChildren > 0 && branch.pChildren != nullptr &&
            JoinIsPrefixOfPath(path, parent, branch.pszName, full)) {
            open.push_back(SearchFrame{&branch, full, 0});
        }
    };
    try {
        enter(root, prefix);
        while (!open.empty()) {
            SearchFrame& frame = open.back();
            if (frame.nextChild >= frame.branch->iNumChildren) {
                open.pop_back();
                continue;
            }
            const NODE_STRUCT& node = frame.branch->pChildren[frame.nextChild++];
            if (node.enumNodeType == NODE_TYPE_LEAF) {
                const LEAF_STRUCT* leaf = static_cast<const LEAF_STRUCT*>(node.pNode);
                if (leaf != nullptr && LeafHasPath(path, frame.full, *leaf)) {
                    return leaf;
                }
                continue;
            }
            TESSEL_PRECONDITION(node.enumNodeType == NODE_TYPE_BRANCH,
                                "AmiParamParser: node.enumNodeType == NODE_TYPE_BRANCH");
            if (node.pNode != nullptr) {
                enter(*static_cast<const BRANCH_STRUCT*>(node.pNode), frame.full);
            }
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for the walk: the lookup answers "no such leaf".
    }
    return nullptr;
}

bool EqualsIgnoringCase(const char* text, const char* lowerCase) {
    for (; *text != '\0' && *lowerCase != '\0'; ++text, ++lowerCase) {
        const char c = (*text >= 'A' && *text <= 'Z') ? static_cast<char>(*text - 'A' + 'a') : *text;
        if (c != *lowerCase) {
            return false;
        }
    }
    return *text == '\0' && *lowerCase == '\0';
}

// Whether truncating toward zero gives an int; false for NaN and infinities.
bool TruncatesToInt(double value) {
    return value > static_cast<double>(INT_MIN) - 1.0 && value < static_cast<double>(INT_MAX) + 1.0;
}

}  // namespace

ParamParser::ParamParser(const char* text) : m_bValid(false), m_pTree(nullptr) {
    if (text == nullptr) {
        text = "";
    }
    // The tree parser takes a modifiable text.
    const std::size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, text, size);
    m_bValid = GetParsedTree(copy, &m_pTree) == AMI_PARSE_SUCCESS;
    delete[] copy;
}

ParamParser::~ParamParser() {
    if (m_pTree != nullptr) {
        FreeParsedTree(&m_pTree);
    }
}

const LEAF_STRUCT* ParamParser::GetLeaf(const char* path) const {
    if (m_pTree == nullptr || !m_bValid || m_pTree->pNodes == nullptr || m_pTree->iNumNodes < 1 ||
        path == nullptr) {
        return nullptr;
    }
    const NODE_STRUCT& root = m_pTree->pNodes[0];
    if (root.pNode == nullptr || root.enumNodeType != NODE_TYPE_BRANCH) {
        return nullptr;
    }
    return FindLeafWithName(static_cast<const BRANCH_STRUCT*>(root.pNode), path, "");
}

const LEAF_STRUCT* ParamParser::FindLeafWithName(const BRANCH_STRUCT* branch, const char* path,
                                                 const char* prefix) {
    TESSEL_PRECONDITION(branch != nullptr, "AmiParamParser: branch");
    if (branch == nullptr || path == nullptr) {
        return nullptr;
    }
    if (prefix == nullptr) {
        prefix = "";
    }
    const std::size_t prefixLength = std::strlen(prefix);
    if (std::strncmp(path, prefix, prefixLength) != 0) {
        return nullptr;
    }
    return SearchBranch(*branch, path, FullName{prefixLength, prefixLength == 0});
}

bool ParamParser::IsParamLeafBranch(const BRANCH_STRUCT* branch) {
    TESSEL_PRECONDITION(branch != nullptr, "AmiParamParser: branch");
    return branch != nullptr && branch->iNumChildren > 0 && branch->pChildren != nullptr &&
           branch->pChildren[0].enumNodeType == NODE_TYPE_LEAF;
}

const VALUE_STRUCT* ParamParser::FirstValueOfType(const char* path, int type1, int type2) const {
    const LEAF_STRUCT* leaf = GetLeaf(path);
    if (leaf == nullptr || leaf->iNumValues < 1 || leaf->pValues == nullptr) {
        return nullptr;
    }
    const VALUE_STRUCT& first = leaf->pValues[0];
    if (first.pszValue == nullptr ||
        (first.enumValueType != type1 && first.enumValueType != type2)) {
        return nullptr;
    }
    return &first;
}

bool ParamParser::GetValue(double& out, const char* path) const {
    const VALUE_STRUCT* value = FirstValueOfType(path, VALUE_TYPE_INTEGER, VALUE_TYPE_FLOAT);
    if (value == nullptr) {
        return false;
    }
    out = CMN_StrToDouble(value->pszValue, nullptr);
    return true;
}

bool ParamParser::GetValue(int& out, const char* path) const {
    double value = 0.0;
    if (!GetValue(value, path) || !TruncatesToInt(value)) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool ParamParser::GetValue(bool& out, const char* path) const {
    const VALUE_STRUCT* value = FirstValueOfType(path, VALUE_TYPE_BOOLEAN, VALUE_TYPE_BOOLEAN);
    if (value == nullptr) {
        return false;
    }
    out = EqualsIgnoringCase(value->pszValue, "true");
    return true;
}

bool ParamParser::GetValue(char*& out, const char* path) const {
    const VALUE_STRUCT* value = FirstValueOfType(path, VALUE_TYPE_STRING, VALUE_TYPE_STRING);
    if (value == nullptr) {
        return false;
    }
    const std::size_t size = std::strlen(value->pszValue) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy == nullptr) {
        return false;
    }
    std::memcpy(copy, value->pszValue, size);
    delete[] out;
    out = copy;
    return true;
}

}  // namespace AMI
}  // namespace Tessel
