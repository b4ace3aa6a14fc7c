#include "ami.h"

#include "cmn.h"
#include "errlog.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct KeywordRow {
    int code;
    const char* text;
};

// Leaf names, compared case-sensitively with the whole name.
const KeywordRow kLeafKeywords[] = {
    {LEAF_KEYWORD_USAGE, "Usage"},
    {LEAF_KEYWORD_TYPE, "Type"},
    {LEAF_KEYWORD_FORMAT, "Format"},
    {LEAF_KEYWORD_DEFAULT, "Default"},
    {LEAF_KEYWORD_DESCRIPTION, "Description"},
    {LEAF_KEYWORD_LABELS, "Labels"},
};

// String values, compared case-sensitively with the whole text.
const KeywordRow kStringKeywords[] = {
    {STRING_KEYWORD_IN, "In"},
    {STRING_KEYWORD_OUT, "Out"},
    {STRING_KEYWORD_INFO, "Info"},
    {STRING_KEYWORD_INOUT, "InOut"},
    {STRING_KEYWORD_FLOAT, "Float"},
    {STRING_KEYWORD_INTEGER, "Integer"},
    {STRING_KEYWORD_STRING, "String"},
    {STRING_KEYWORD_BOOLEAN, "Boolean"},
    {STRING_KEYWORD_TAP, "Tap"},
    {STRING_KEYWORD_UI, "UI"},
    {STRING_KEYWORD_VALUE, "Value"},
    {STRING_KEYWORD_RANGE, "Range"},
    {STRING_KEYWORD_LIST, "List"},
    {STRING_KEYWORD_CORNER, "Corner"},
    {STRING_KEYWORD_INCREMENT, "Increment"},
    {STRING_KEYWORD_STEPS, "Steps"},
    {STRING_KEYWORD_TABLE, "Table"},
    {STRING_KEYWORD_GAUSSIAN, "Gaussian"},
    {STRING_KEYWORD_DUAL_DIRAC, "Dual-Dirac"},
    {STRING_KEYWORD_DJRJ, "DjRj"},
};

template <size_t N>
const KeywordRow* s_findKeyword(const KeywordRow (&table)[N], const char* text) {
    for (const KeywordRow& row : table) {
        if (strcmp(row.text, text) == 0) {
            return &row;
        }
    }
    return NULL;
}

int s_leafKeyword(const char* name) {
    const KeywordRow* row = s_findKeyword(kLeafKeywords, name);
    return row != NULL ? row->code : LEAF_KEYWORD_NONE;
}

void s_setStringType(VALUE_STRUCT* value, const char* text) {
    const KeywordRow* row = s_findKeyword(kStringKeywords, text);
    if (row != NULL) {
        value->enumStringType = row->code;
    }
}

// ---- Memory: typed front ends of the CMN_ functions -------------------

template <typename T>
bool s_allocate(T*& out, size_t count) {
    if (count == 0 || count > SIZE_MAX / sizeof(T)) {
        return false;
    }
    void* block = NULL;
    if (!CMN_malloc(&block, count * sizeof(T))) {
        return false;
    }
    out = static_cast<T*>(block);
    return true;
}

template <typename T>
void s_release(T*& pointer) {
    if (pointer != NULL) {
        void* block = pointer;
        CMN_freeSetNull(&block);
        pointer = NULL;
    }
}

// Makes room for element `count` of an array and returns it zeroed; null
// when memory runs out (the array and its elements stay as they were). The
// caller fills it and increments count. The records keep only a count, so
// the capacity is implied by it: the smallest power of two not below it.
// The array doubles whenever it is full, so a value list or a branch with
// millions of entries costs a few dozen reallocations, not millions.
template <typename T>
T* s_appendElement(T*& array, int count) {
    if (count == INT_MAX) {
        return NULL;
    }
    if (count == 0) {
        if (!s_allocate(array, 1)) {
            return NULL;
        }
    } else if ((count & (count - 1)) == 0) {
        const size_t capacity = 2 * static_cast<size_t>(count);
        void* block = array;
        if (capacity > SIZE_MAX / sizeof(T) || !CMN_realloc(&block, capacity * sizeof(T))) {
            return NULL;
        }
        array = static_cast<T*>(block);
    }
    T* element = &array[count];
    memset(element, 0, sizeof(T));
    return element;
}

void s_freeLeaf(LEAF_STRUCT*& leaf) {
    for (int i = 0; i < leaf->iNumValues; ++i) {
        s_release(leaf->pValues[i].pszValue);
    }
    s_release(leaf->pValues);
    s_release(leaf->pszName);
    s_release(leaf);
}

void s_freeBranch(BRANCH_STRUCT*& branch) {
    s_release(branch->pszName);
    // The children are copies; their records belong to the node array.
    s_release(branch->pChildren);
    s_release(branch);
}

void s_freeNode(NODE_STRUCT& node) {
    if (node.pNode == NULL) {
        return;
    }
    if (node.enumNodeType == NODE_TYPE_LEAF) {
        LEAF_STRUCT* leaf = static_cast<LEAF_STRUCT*>(node.pNode);
        s_freeLeaf(leaf);
    } else if (node.enumNodeType == NODE_TYPE_BRANCH) {
        BRANCH_STRUCT* branch = static_cast<BRANCH_STRUCT*>(node.pNode);
        s_freeBranch(branch);
    }
    node = NODE_STRUCT();
}

// A copy of [start, end) without trailing whitespace; null when memory runs
// out.
char* s_copyTrimmed(const char* start, const char* end) {
    while (end > start && CMN_IsWhitespace(end[-1])) {
        --end;
    }
    const ptrdiff_t length = end - start;
    return length <= INT_MAX ? CMN_StrMakeN(start, static_cast<int>(length)) : NULL;
}

// ---- Scanning ----------------------------------------------------------
//
// The scan keeps a running depth that counts every opening parenthesis
// twice (once when it ends a name, once when the next node starts), so a
// node's level is depth / 2 when its kind is decided; each closing
// parenthesis of a node takes 2 off. A pass counter, which every closing
// parenthesis of a branch takes one off, bounds the scan by the node
// array's capacity.

struct Scanner {
    char* p;
    long long depth;
    int passes;
    NODE_STRUCT* nodes;
    int count;
    int capacity;
};

enum NodeKind { kNoNode, kBranch, kLeaf };

int s_level(const Scanner& scan) {
    const long long level = scan.depth / 2;
    return level > INT_MAX ? INT_MAX : static_cast<int>(level);
}

// A closing parenthesis met while looking for a name ends a branch; the
// next sibling's opening parenthesis, if any, is taken with it.
int s_closeBranch(Scanner& scan) {
    ++scan.p;
    CMN_EatWhitespace(&scan.p);
    if (scan.depth < 2 || scan.passes < 1) {
        return AMI_PARSE_UNMATCHED_CLOSING;
    }
    scan.depth -= 2;
    --scan.passes;
    if (*scan.p == '(') {
        ++scan.p;
        ++scan.depth;
    }
    CMN_EatWhitespace(&scan.p);
    return AMI_PARSE_SUCCESS;
}

// Walks to the point where the next node's kind is decided: the '(' of a
// branch's first child or the first value of a leaf. [nameStart, nameEnd)
// is the name; nameEnd stays where whitespace first ended it, even when a
// closing parenthesis restarts the name (stray text then shows up as a name
// that ends before it starts).
int s_walkToNodeKind(Scanner& scan, char*& nameStart, char*& nameEnd, NodeKind& kind) {
    if (*scan.p == '(') {
        ++scan.p;
        ++scan.depth;
        CMN_EatWhitespace(&scan.p);
    }
    nameStart = scan.p;
    nameEnd = NULL;
    kind = kNoNode;
    for (;;) {
        const char c = *scan.p;
        if (c == '\0') {
            return AMI_PARSE_SUCCESS;
        }
        if (c == '(') {
            ++scan.depth;
            if (nameEnd == NULL) {
                nameEnd = scan.p;
            }
            kind = kBranch;
            return AMI_PARSE_SUCCESS;
        }
        if (c == ')') {
            const int result = s_closeBranch(scan);
            if (result != AMI_PARSE_SUCCESS) {
                return result;
            }
            nameStart = scan.p;
            continue;
        }
        if (CMN_IsWhitespace(c)) {
            if (nameEnd == NULL) {
                nameEnd = scan.p;
            }
        } else if (nameEnd != NULL) {
            ++scan.depth;
            kind = kLeaf;
            return AMI_PARSE_SUCCESS;
        }
        ++scan.p;
    }
}

int s_storeValue(LEAF_STRUCT* leaf, const char* start, const char* end) {
    char* text = s_copyTrimmed(start, end);
    if (text == NULL) {
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    VALUE_STRUCT* value = s_appendElement(leaf->pValues, leaf->iNumValues);
    if (value == NULL) {
        s_release(text);
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    value->pszValue = text;
    value->enumStringType = STRING_KEYWORD_NONE;
    value->enumValueType = GetValueType(text);
    if (value->enumValueType == VALUE_TYPE_STRING) {
        s_setStringType(value, text);
    }
    ++leaf->iNumValues;
    return AMI_PARSE_SUCCESS;
}

// A double quote at the start of a value: the value is the text up to the
// next double quote, or up to the end of the text when none follows. Both
// quotes become blanks.
void s_takeQuotedValue(Scanner& scan, char*& valueStart, char*& valueEnd) {
    *scan.p = ' ';
    valueStart = scan.p + 1;
    char* closing = strchr(valueStart, '"');
    if (closing != NULL) {
        *closing = ' ';
        valueEnd = closing;
        scan.p = closing + 1;
    } else {
        valueEnd = valueStart + strlen(valueStart);
        scan.p = valueEnd;
    }
}

// Steps over a leaf that holds a parenthesised list, from the list's '(' to
// just past the leaf's own ')', passing over double-quoted text.
int s_skipDroppedLeaf(Scanner& scan) {
    long long nesting = 1;
    while (*scan.p != '\0') {
        const char c = *scan.p;
        if (c == '"') {
            char* closing = strchr(scan.p + 1, '"');
            scan.p = closing != NULL ? closing + 1 : scan.p + strlen(scan.p);
            continue;
        }
        if (c == '(') {
            ++nesting;
        } else if (c == ')' && --nesting == 0) {
            break;
        }
        ++scan.p;
    }
    if (*scan.p == '\0') {
        return AMI_PARSE_SUCCESS;
    }
    ++scan.p;
    CMN_EatWhitespace(&scan.p);
    if (scan.depth < 2) {
        return AMI_PARSE_UNMATCHED_CLOSING;
    }
    scan.depth -= 2;
    return AMI_PARSE_SUCCESS;
}

// Reads a leaf's values up to its ')' (or the end of the text). A value is
// stored once the next one starts or the leaf ends, so that a '(' that
// follows drops it with the rest of the leaf.
int s_readValues(Scanner& scan, LEAF_STRUCT* leaf, bool& dropped) {
    char* valueStart = NULL;
    char* valueEnd = NULL;
    dropped = false;
    for (;;) {
        const char c = *scan.p;
        const bool pending = valueStart != NULL;
        if (c == '\0') {
            return pending ? s_storeValue(leaf, valueStart, valueEnd != NULL ? valueEnd : scan.p)
                           : AMI_PARSE_SUCCESS;
        }
        if (c == ')') {
            if (pending) {
                const int result =
                    s_storeValue(leaf, valueStart, valueEnd != NULL ? valueEnd : scan.p);
                if (result != AMI_PARSE_SUCCESS) {
                    return result;
                }
            }
            ++scan.p;
            CMN_EatWhitespace(&scan.p);
            if (scan.depth < 2) {
                return AMI_PARSE_UNMATCHED_CLOSING;
            }
            scan.depth -= 2;
            return AMI_PARSE_SUCCESS;
        }
        if (c == '(') {
            dropped = true;
            return s_skipDroppedLeaf(scan);
        }
        if (CMN_IsWhitespace(c)) {
            if (pending && valueEnd == NULL) {
                valueEnd = scan.p;
            }
            ++scan.p;
            continue;
        }
        if (pending && valueEnd != NULL) {
            const int result = s_storeValue(leaf, valueStart, valueEnd);
            if (result != AMI_PARSE_SUCCESS) {
                return result;
            }
            valueStart = valueEnd = NULL;
            continue;  // this character starts the next value
        }
        if (!pending) {
            if (c == '"') {
                s_takeQuotedValue(scan, valueStart, valueEnd);
                continue;
            }
            valueStart = scan.p;
        }
        ++scan.p;
    }
}

int s_storeBranch(Scanner& scan, char* name) {
    BRANCH_STRUCT* branch = NULL;
    if (!s_allocate(branch, 1)) {
        s_release(name);
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    branch->pszName = name;
    NODE_STRUCT& slot = scan.nodes[scan.count];
    slot.enumNodeType = NODE_TYPE_BRANCH;
    slot.iLevel = s_level(scan);
    slot.pNode = branch;
    ++scan.count;
    return AMI_PARSE_SUCCESS;
}

int s_scanLeaf(Scanner& scan, char* name) {
    LEAF_STRUCT* leaf = NULL;
    if (!s_allocate(leaf, 1)) {
        s_release(name);
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    leaf->pszName = name;
    leaf->enumLeafKeyword = s_leafKeyword(name);
    // The slot owns the leaf from here on, so that a failure below frees it
    // with the tree.
    NODE_STRUCT& slot = scan.nodes[scan.count];
    slot.enumNodeType = NODE_TYPE_LEAF;
    slot.iLevel = s_level(scan);
    slot.pNode = leaf;
    bool dropped = false;
    const int result = s_readValues(scan, leaf, dropped);
    if (dropped) {
        s_freeNode(slot);  // the slot is reused by the next node
    } else if (result == AMI_PARSE_SUCCESS) {
        ++scan.count;
    }
    return result;
}

int s_scanPass(Scanner& scan) {
    char* nameStart = NULL;
    char* nameEnd = NULL;
    NodeKind kind = kNoNode;
    const int result = s_walkToNodeKind(scan, nameStart, nameEnd, kind);
    if (result != AMI_PARSE_SUCCESS || kind == kNoNode) {
        return result;
    }
    if (scan.count == scan.capacity) {
        return AMI_PARSE_TOO_MANY_NODES;
    }
    if (nameEnd < nameStart) {
        return AMI_PARSE_NAME_ENDS_BEFORE_START;
    }
    char* name = s_copyTrimmed(nameStart, nameEnd);
    if (name == NULL) {
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    return kind == kBranch ? s_storeBranch(scan, name) : s_scanLeaf(scan, name);
}

// ---- Linking -----------------------------------------------------------
//
// A stack of the open branches, one entry per level, gives every node its
// parent: the nearest open branch one level up.

struct LinkStack {
    NODE_STRUCT* entries;
    int size;
    int top;
};

int s_linkNode(LinkStack& stack, const NODE_STRUCT& node) {
    while (static_cast<long long>(stack.entries[stack.top].iLevel) + 1 > node.iLevel) {
        if (stack.top == 0) {
            return AMI_PARSE_SECOND_ROOT;
        }
        --stack.top;
    }
    const NODE_STRUCT& parent = stack.entries[stack.top];
    if (parent.pNode == NULL) {
        return AMI_PARSE_TOO_FEW_NODES;
    }
    if (static_cast<long long>(parent.iLevel) + 1 != node.iLevel) {
        return AMI_PARSE_SUCCESS;  // a level skipped: the node stays unlinked
    }
    BRANCH_STRUCT* branch = static_cast<BRANCH_STRUCT*>(parent.pNode);
    NODE_STRUCT* child = s_appendElement(branch->pChildren, branch->iNumChildren);
    if (child == NULL) {
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    *child = node;
    ++branch->iNumChildren;
    if (node.enumNodeType == NODE_TYPE_BRANCH) {
        // Only text that is not a tree gets levels that outgrow the stack.
        if (stack.top + 1 >= stack.size) {
            return AMI_PARSE_SECOND_ROOT;
        }
        stack.entries[++stack.top] = node;
    }
    return AMI_PARSE_SUCCESS;
}

int s_linkTree(NODE_STRUCT* nodes, int count) {
    int maxLevel = 0;
    for (int i = 0; i < count; ++i) {
        if (nodes[i].iLevel > maxLevel) {
            maxLevel = nodes[i].iLevel;
        }
    }
    // Nothing kept (the only top-level node was a dropped leaf).
    if (count < 1 || maxLevel < 1) {
        return AMI_PARSE_TOO_FEW_NODES;
    }
    LinkStack stack = {NULL, maxLevel, 0};
    if (!s_allocate(stack.entries, static_cast<size_t>(maxLevel))) {
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    int first = 0;
    if (nodes[0].enumNodeType == NODE_TYPE_BRANCH) {
        stack.entries[0] = nodes[0];
        first = 1;
    }
    // A root leaf is linked like any other node and finds no parent record.
    int result = AMI_PARSE_SUCCESS;
    for (int i = first; i < count && result == AMI_PARSE_SUCCESS; ++i) {
        if (nodes[i].enumNodeType != NODE_TYPE_BRANCH && nodes[i].enumNodeType != NODE_TYPE_LEAF) {
            break;
        }
        result = s_linkNode(stack, nodes[i]);
    }
    s_release(stack.entries);
    return result;
}

TREE_STRUCT* s_newTree(int nodeCount) {
    TREE_STRUCT* tree = NULL;
    if (!s_allocate(tree, 1)) {
        return NULL;
    }
    if (!s_allocate(tree->pNodes, static_cast<size_t>(nodeCount))) {
        s_release(tree);
        return NULL;
    }
    tree->iNumNodes = nodeCount;
    return tree;
}

int s_buildTree(TREE_STRUCT* tree, char* copy) {
    int count = tree->iNumNodes;
    const int result = ScanForNodes(copy, &tree->pNodes, &count);
    if (result != AMI_PARSE_SUCCESS) {
        return result;
    }
    return s_linkTree(tree->pNodes, count);
}

// What a caller reports for each failed parse.
struct ResultReport {
    int result;
    int message;
    bool programBug;
};

const ResultReport kResultReports[] = {
    {AMI_PARSE_MISMATCHED_PARENTHESES, ERRLOG_MSG_AMI_MISMATCHED_PARENTHESES, false},
    {AMI_PARSE_NO_OPENING_PARENTHESIS, ERRLOG_MSG_AMI_NO_OPENING_PARENTHESIS, false},
    {AMI_PARSE_TOO_FEW_NODES, ERRLOG_MSG_AMI_TOO_FEW_NODES, false},
    {AMI_PARSE_OUT_OF_MEMORY, ERRLOG_MSG_AMI_INTERNAL_ERROR, true},
    {AMI_PARSE_SECOND_ROOT, ERRLOG_MSG_AMI_INTERNAL_ERROR, true},
    {AMI_PARSE_UNMATCHED_CLOSING, ERRLOG_MSG_AMI_TOO_FEW_NODES, false},
    {AMI_PARSE_TOO_MANY_NODES, ERRLOG_MSG_AMI_INTERNAL_ERROR, true},
    {AMI_PARSE_NAME_ENDS_BEFORE_START, ERRLOG_MSG_AMI_INVALID_SYNTAX, false},
};

}  // namespace

extern "C" {

int ReportParseResult(int result) {
    for (const ResultReport& report : kResultReports) {
        if (report.result == result) {
            if (report.programBug) {
                ERRLOG_BugNew(report.message);
            } else {
                ERRLOG_ErrorNew(report.message);
            }
            return report.message;
        }
    }
    return 0;
}

int GetParsedTree(char* text, TREE_STRUCT** out) {
    if (text == NULL || out == NULL) {
        return AMI_PARSE_TOO_FEW_NODES;
    }
    CMN_EatWhitespace(&text);
    if (*text != '(') {
        return AMI_PARSE_NO_OPENING_PARENTHESIS;
    }
    int nodeCount = 0;
    if (!ISValidBuffer(text, &nodeCount)) {
        return AMI_PARSE_MISMATCHED_PARENTHESES;
    }
    TREE_STRUCT* tree = s_newTree(nodeCount);
    if (tree == NULL) {
        return AMI_PARSE_OUT_OF_MEMORY;
    }
    // The scan blanks out double quotes: it works on a private copy.
    char* copy = CMN_StrMake(text);
    const int result = copy != NULL ? s_buildTree(tree, copy) : AMI_PARSE_OUT_OF_MEMORY;
    s_release(copy);
    if (result != AMI_PARSE_SUCCESS) {
        FreeParsedTree(&tree);
        return result;
    }
    *out = tree;
    return AMI_PARSE_SUCCESS;
}

void FreeParsedTree(TREE_STRUCT** tree) {
    if (tree == NULL || *tree == NULL) {
        return;
    }
    TREE_STRUCT* doomed = *tree;
    if (doomed->pNodes != NULL) {
        for (int i = 0; i < doomed->iNumNodes; ++i) {
            s_freeNode(doomed->pNodes[i]);
        }
    }
    s_release(doomed->pNodes);
    s_release(doomed);
    *tree = NULL;
}

int ScanForNodes(char* text, NODE_STRUCT** nodes, int* count) {
    if (text == NULL || nodes == NULL || *nodes == NULL || count == NULL) {
        return AMI_PARSE_TOO_FEW_NODES;
    }
    Scanner scan = {text, 0, 0, *nodes, 0, *count};
    int result = AMI_PARSE_SUCCESS;
    while (result == AMI_PARSE_SUCCESS && scan.passes < scan.capacity && *scan.p != '\0') {
        ++scan.passes;
        result = s_scanPass(scan);
    }
    if (scan.count < *count) {
        *count = scan.count;
    }
    return result;
}

int ISValidBuffer(const char* text, int* count) {
    if (count != NULL) {
        *count = 0;
    }
    if (text == NULL) {
        return 1;
    }
    size_t opening = 0;
    size_t closing = 0;
    bool quoted = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (!quoted && *p == '(') {
            ++opening;
        } else if (!quoted && *p == ')') {
            ++closing;
        }
    }
    if (opening != closing || opening > static_cast<size_t>(INT_MAX)) {
        return 0;
    }
    if (count != NULL) {
        *count = static_cast<int>(opening);
    }
    return 1;
}

int GetValueType(const char* text) {
    if (text == NULL || *text == '\0') {
        return VALUE_TYPE_NONE;
    }
    char* end = NULL;
    (void)CMN_StrToLong(text, &end, 10);
    if (*end == '\0') {
        return VALUE_TYPE_INTEGER;
    }
    (void)CMN_StrToDouble(text, &end);
    if (*end == '\0') {
        return VALUE_TYPE_FLOAT;
    }
    if (strcmp(text, "True") == 0 || strcmp(text, "False") == 0) {
        return VALUE_TYPE_BOOLEAN;
    }
    return VALUE_TYPE_STRING;
}

}  // extern "C"
