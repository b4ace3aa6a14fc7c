/* Parameter tree parser.
 *
 * Turns an AMI parameter string, a parenthesised tree such as
 *   (Orvex_TX_AMI_01142014 (DE 3) (VOD 5) (gain 1.0))
 * into a tree of branches and leaves with classified leaf values, and frees
 * it again. The parser is tolerant: a leaf whose values contain a
 * parenthesised list is dropped whole, and names are never interpreted.
 * Every record is allocated zero-filled through CMN_malloc and owned by the
 * tree; no state is kept between calls.
 */
#ifndef AMI_AMI_H
#define AMI_AMI_H

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of GetParsedTree and ScanForNodes. */
enum {
    AMI_PARSE_SUCCESS = 0,
    AMI_PARSE_MISMATCHED_PARENTHESES = 1,
    AMI_PARSE_NO_OPENING_PARENTHESIS = 2,
    AMI_PARSE_TOO_FEW_NODES = 3,     /* null argument, no node kept, root is a leaf */
    AMI_PARSE_OUT_OF_MEMORY = 4,
    AMI_PARSE_SECOND_ROOT = 5,       /* a node at or above the root's level */
    AMI_PARSE_UNMATCHED_CLOSING = 6, /* "()", a name without value or children */
    AMI_PARSE_TOO_MANY_NODES = 7,
    AMI_PARSE_NAME_ENDS_BEFORE_START = 8
};

enum { NODE_TYPE_BRANCH = 0, NODE_TYPE_LEAF = 1 };

/* Value classification (GetValueType). */
enum {
    VALUE_TYPE_NONE = -1,
    VALUE_TYPE_STRING = 0,
    VALUE_TYPE_INTEGER = 1,
    VALUE_TYPE_BOOLEAN = 2,
    VALUE_TYPE_FLOAT = 3
};

/* Leaf names with a meaning in parameter files; 0 for any other name. */
enum {
    LEAF_KEYWORD_NONE = 0,
    LEAF_KEYWORD_USAGE = 1,
    LEAF_KEYWORD_TYPE = 2,
    LEAF_KEYWORD_FORMAT = 3,
    LEAF_KEYWORD_DEFAULT = 4,
    LEAF_KEYWORD_DESCRIPTION = 5,
    LEAF_KEYWORD_LABELS = 6
};

/* String values with a meaning in parameter files; -1 for any other text. */
enum {
    STRING_KEYWORD_NONE = -1,
    STRING_KEYWORD_IN = 0,
    STRING_KEYWORD_OUT = 1,
    STRING_KEYWORD_INFO = 2,
    STRING_KEYWORD_INOUT = 3,
    STRING_KEYWORD_FLOAT = 4,
    STRING_KEYWORD_INTEGER = 5,
    STRING_KEYWORD_STRING = 6,
    STRING_KEYWORD_BOOLEAN = 7,
    STRING_KEYWORD_TAP = 8,
    STRING_KEYWORD_UI = 9,
    STRING_KEYWORD_VALUE = 10,
    STRING_KEYWORD_RANGE = 11,
    STRING_KEYWORD_LIST = 12,
    STRING_KEYWORD_CORNER = 13,
    STRING_KEYWORD_INCREMENT = 14,
    STRING_KEYWORD_STEPS = 15,
    STRING_KEYWORD_TABLE = 16,
    STRING_KEYWORD_GAUSSIAN = 17,
    STRING_KEYWORD_DUAL_DIRAC = 18,
    STRING_KEYWORD_DJRJ = 19
};

/* A reference to one branch or leaf. */
typedef struct _tagNodeStruct {
    int enumNodeType; /* NODE_TYPE_BRANCH or NODE_TYPE_LEAF */
    int iLevel;       /* the root is level 1, a child of level k is level k + 1 */
    void* pNode;      /* the BRANCH_STRUCT or LEAF_STRUCT */
} NODE_STRUCT;

typedef struct _tagBranchStruct {
    char* pszName;
    /* Copies of the child nodes in document order; the records they point to
     * belong to the tree's node array. */
    NODE_STRUCT* pChildren;
    int iNumChildren;
} BRANCH_STRUCT;

typedef struct _tagValueStruct {
    char* pszValue;     /* surrounding double quotes removed */
    int enumValueType;  /* VALUE_TYPE_... */
    int enumStringType; /* STRING_KEYWORD_... for a string value, else -1 */
} VALUE_STRUCT;

typedef struct _tagLeafStruct {
    char* pszName;
    VALUE_STRUCT* pValues; /* in order of appearance */
    int iNumValues;        /* at least 1 in a stored leaf */
    int enumLeafKeyword;   /* LEAF_KEYWORD_... */
} LEAF_STRUCT;

typedef struct _tagTreeStruct {
    /* Every node in document order; element 0 is the root. Entries past the
     * scanned nodes stay zero (branch type, no record). */
    NODE_STRUCT* pNodes;
    int iNumNodes; /* the number of opening parentheses outside double quotes */
} TREE_STRUCT;

/* Parses text into a new tree stored in *out; returns a result code. On
 * failure *out is untouched and everything allocated is freed. The text is
 * not modified. */
int GetParsedTree(char* text, TREE_STRUCT** out);

/* Frees the tree and sets *tree to null; null tree or *tree does nothing. */
void FreeParsedTree(TREE_STRUCT** tree);

/* Fills the node array *nodes: *count is its capacity on entry and the
 * number of nodes stored on return. Overwrites the double quotes around
 * quoted values in text with blanks, so it is given a private copy. */
int ScanForNodes(char* text, NODE_STRUCT** nodes, int* count);

/* 1 when the opening and closing parentheses outside double quotes are
 * equally many, storing the number of opening ones in *count (0 when it
 * returns 0; count may be null). A null text is balanced with 0. */
int ISValidBuffer(const char* text, int* count);

/* VALUE_TYPE_... of a value text; null gives VALUE_TYPE_NONE. */
int GetValueType(const char* text);

/* Logs the message of a non-zero result code through the message log:
 * errors for malformed text, program bugs for internal failures. Returns
 * the message number logged, or 0 for success and unknown codes. */
int ReportParseResult(int result);

#ifdef __cplusplus
}
#endif

#endif
