#include "AmiFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "InputFile.h"
#include "ami.h"

namespace linksim {

namespace {

// The parsed tree, freed on every way out.
class ParsedTree {
public:
    ~ParsedTree() { FreeParsedTree(&m_tree); }
    int Parse(const std::string& text) {
        std::vector<char> copy(text.begin(), text.end());
        copy.push_back('\0');
        return GetParsedTree(copy.data(), &m_tree);
    }
    const BRANCH_STRUCT* Root() const {
        if (m_tree == nullptr || m_tree->iNumNodes < 1 || m_tree->pNodes[0].enumNodeType != NODE_TYPE_BRANCH) {
            return nullptr;
        }
        return static_cast<const BRANCH_STRUCT*>(m_tree->pNodes[0].pNode);
    }

private:
    TREE_STRUCT* m_tree = nullptr;
};

const char* ParseFailure(int code) {
    switch (code) {
        case AMI_PARSE_MISMATCHED_PARENTHESES: return "its parentheses do not match";
        case AMI_PARSE_NO_OPENING_PARENTHESIS: return "it does not start with a parenthesis";
        case AMI_PARSE_SECOND_ROOT: return "it holds more than one top-level branch";
        case AMI_PARSE_UNMATCHED_CLOSING: return "a name has neither values nor branches, or a parenthesis closes nothing";
        case AMI_PARSE_NAME_ENDS_BEFORE_START: return "it holds text outside any branch";
        default: return "its tree is malformed";
    }
}

const BRANCH_STRUCT* AsBranch(const NODE_STRUCT& node) {
    return node.enumNodeType == NODE_TYPE_BRANCH ? static_cast<const BRANCH_STRUCT*>(node.pNode) : nullptr;
}

const LEAF_STRUCT* AsLeaf(const NODE_STRUCT& node) {
    return node.enumNodeType == NODE_TYPE_LEAF ? static_cast<const LEAF_STRUCT*>(node.pNode) : nullptr;
}

std::vector<std::string> Values(const LEAF_STRUCT& leaf, int from) {
    std::vector<std::string> values;
    for (int i = from; i < leaf.iNumValues; ++i) {
        values.push_back(leaf.pValues[i].pszValue ? leaf.pValues[i].pszValue : "");
    }
    return values;
}

const BRANCH_STRUCT* ChildBranch(const BRANCH_STRUCT& branch, const char* name) {
    for (int i = 0; i < branch.iNumChildren; ++i) {
        const BRANCH_STRUCT* child = AsBranch(branch.pChildren[i]);
        if (child != nullptr && child->pszName != nullptr && std::strcmp(child->pszName, name) == 0) {
            return child;
        }
    }
    return nullptr;
}

// The first value of the branch's leaf of this name, or null.
const char* LeafValue(const BRANCH_STRUCT& branch, const char* name) {
    for (int i = 0; i < branch.iNumChildren; ++i) {
        const LEAF_STRUCT* leaf = AsLeaf(branch.pChildren[i]);
        if (leaf != nullptr && leaf->pszName != nullptr && std::strcmp(leaf->pszName, name) == 0) {
            return leaf->pValues[0].pszValue;
        }
    }
    return nullptr;
}

struct Named {
    const char* name;
    int value;
};

const Named kUsages[] = {
    {"In", int(AmiUsage::In)},     {"Out", int(AmiUsage::Out)}, {"InOut", int(AmiUsage::InOut)},
    {"Info", int(AmiUsage::Info)}, {"Dep", int(AmiUsage::Dep)},
};
const Named kTypes[] = {
    {"Float", int(AmiType::Float)},     {"Integer", int(AmiType::Integer)}, {"String", int(AmiType::String)},
    {"Boolean", int(AmiType::Boolean)}, {"UI", int(AmiType::UI)},           {"Tap", int(AmiType::Tap)},
};
const Named kFormats[] = {
    {"Value", int(AmiFormat::Value)},         {"Range", int(AmiFormat::Range)}, {"List", int(AmiFormat::List)},
    {"Increment", int(AmiFormat::Increment)}, {"Steps", int(AmiFormat::Steps)}, {"Corner", int(AmiFormat::Corner)},
};

template <size_t N>
int Lookup(const Named (&table)[N], const std::string& name, int otherwise) {
    for (const Named& entry : table) {
        if (name == entry.name) return entry.value;
    }
    return otherwise;
}

// The keywords of a parameter's branch, which IBIS spells exactly so.
const char* const kParameterKeywords[] = {"Usage", "Type",      "Default", "Format", "Value", "Range", "List",
                                          "List_Tip", "Increment", "Steps", "Corner", "Description", "Table",
                                          "Labels"};

bool SameLetters(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The keyword name is a miswritten form of, or null.
const char* MiswrittenKeyword(const std::string& name) {
    for (const char* keyword : kParameterKeywords) {
        if (name != keyword && SameLetters(name, keyword)) return keyword;
    }
    return nullptr;
}

// Where in the file a text first appears, as "line N: ", so that a message
// points at it; empty when it is not found.
class FileLines {
public:
    explicit FileLines(const std::string& text) : m_text(text) {}
    std::string Of(const std::string& opening) const {
        for (size_t at = m_text.find(opening); at != std::string::npos; at = m_text.find(opening, at + 1)) {
            const size_t after = at + opening.size();
            if (after < m_text.size() && !std::isspace(static_cast<unsigned char>(m_text[after])) &&
                m_text[after] != '(' && m_text[after] != ')') {
                continue;  // a longer name that starts alike
            }
            return "line " + std::to_string(1 + std::count(m_text.begin(), m_text.begin() + long(at), '\n')) + ": ";
        }
        return "";
    }

private:
    const std::string& m_text;
};

// A branch or leaf written back as text: a Table's rows reach the model as
// the file gives them.
std::string Written(const NODE_STRUCT& node) {
    std::string text = "(";
    if (const LEAF_STRUCT* leaf = AsLeaf(node)) {
        text += leaf->pszName ? leaf->pszName : "";
        for (const std::string& value : Values(*leaf, 0)) {
            const bool quote = value.empty() || value.find_first_of(" \t()") != std::string::npos;
            text += " " + (quote ? "\"" + value + "\"" : value);
        }
    } else if (const BRANCH_STRUCT* branch = AsBranch(node)) {
        text += branch->pszName ? branch->pszName : "";
        for (int i = 0; i < branch->iNumChildren; ++i) text += " " + Written(branch->pChildren[i]);
    }
    return text + ")";
}

// hostGivesValue: a reserved parameter, whose value the host knows.
bool ReadParameter(const BRANCH_STRUCT& branch, const std::vector<std::string>& path, const FileLines& lines,
                   bool hostGivesValue, AmiParameter& parameter, std::string& error) {
    parameter.path = path;
    for (int i = 0; i < branch.iNumChildren; ++i) {
        const NODE_STRUCT& node = branch.pChildren[i];
        const LEAF_STRUCT* leaf = AsLeaf(node);
        const BRANCH_STRUCT* table = AsBranch(node);
        const char* rawName = leaf ? leaf->pszName : table ? table->pszName : nullptr;
        if (rawName == nullptr) continue;
        const std::string name = rawName;
        if (const char* keyword = MiswrittenKeyword(name)) {
            error = lines.Of("(" + name) + "'" + name + "' in parameter " + path.back() + " is written " + keyword +
                    " in IBIS, whose keywords are case-sensitive";
            return false;
        }
        if (table != nullptr) {
            if (name == "Table") {
                parameter.format = AmiFormat::Table;
                parameter.hasDefault = true;
                for (int row = 0; row < table->iNumChildren; ++row) {
                    parameter.defaultValue += (row ? " " : "") + Written(table->pChildren[row]);
                }
            }
            continue;
        }
        const std::string first = leaf->pValues[0].pszValue ? leaf->pValues[0].pszValue : "";
        if (name == "Usage") {
            parameter.usage = AmiUsage(Lookup(kUsages, first, int(AmiUsage::Unknown)));
        } else if (name == "Type") {
            parameter.type = AmiType(Lookup(kTypes, first, int(AmiType::Unknown)));
        } else if (name == "Default") {
            parameter.hasDefault = true;
            parameter.defaultValue = first;
        } else if (name == "Format") {
            // The older wrapped form: (Format Range typ min max).
            parameter.format = AmiFormat(Lookup(kFormats, first, int(AmiFormat::None)));
            parameter.formatValues = Values(*leaf, 1);
        } else if (Lookup(kFormats, name, -1) >= 0) {
            parameter.format = AmiFormat(Lookup(kFormats, name, int(AmiFormat::None)));
            parameter.formatValues = Values(*leaf, 0);
        }
    }
    if (!parameter.hasDefault && parameter.format != AmiFormat::None && !parameter.formatValues.empty()) {
        parameter.hasDefault = true;
        parameter.defaultValue = parameter.formatValues[0];
    }
    // A model is owed a value for every input: one the file leaves open
    // would silently go missing from its parameter string.
    if (parameter.IsInput() && !parameter.hasDefault && !hostGivesValue) {
        error = lines.Of("(" + path.back()) + "the " + UsageName(parameter.usage) + " parameter " +
                parameter.DottedPath() + " has neither a default nor a value";
        return false;
    }
    return true;
}

// A branch is a parameter when it holds a leaf other than a Description (or
// a Table); one with only branches, and perhaps a Description, is a group.
bool IsParameter(const BRANCH_STRUCT& branch) {
    for (int i = 0; i < branch.iNumChildren; ++i) {
        const LEAF_STRUCT* leaf = AsLeaf(branch.pChildren[i]);
        const BRANCH_STRUCT* child = AsBranch(branch.pChildren[i]);
        if (leaf != nullptr && !(leaf->pszName && std::strcmp(leaf->pszName, "Description") == 0)) return true;
        if (child != nullptr && child->pszName && std::strcmp(child->pszName, "Table") == 0) return true;
    }
    return false;
}

bool ReadParameters(const BRANCH_STRUCT& branch, std::vector<std::string> path, const FileLines& lines,
                    AmiDescription& description, std::string& error) {
    for (int i = 0; i < branch.iNumChildren; ++i) {
        const BRANCH_STRUCT* child = AsBranch(branch.pChildren[i]);
        if (child == nullptr || child->pszName == nullptr) continue;
        path.push_back(child->pszName);
        if (IsParameter(*child)) {
            AmiParameter parameter;
            if (!ReadParameter(*child, path, lines, false, parameter, error)) return false;
            description.parameters.push_back(parameter);
        } else if (!ReadParameters(*child, path, lines, description, error)) {
            return false;
        }
        path.pop_back();
    }
    return true;
}

// A reserved parameter's (Value v), or its (Default v).
const char* ReservedValue(const BRANCH_STRUCT& reserved, const char* name) {
    const BRANCH_STRUCT* parameter = ChildBranch(reserved, name);
    if (parameter == nullptr) return nullptr;
    for (const char* form : {"Value", "Default", "Range", "Corner"}) {
        if (const char* value = LeafValue(*parameter, form)) return value;
    }
    return nullptr;
}

void ReadReservedValues(const BRANCH_STRUCT& reserved, AmiDescription& description) {
    for (int i = 0; i < reserved.iNumChildren; ++i) {
        const BRANCH_STRUCT* child = AsBranch(reserved.pChildren[i]);
        if (child == nullptr || child->pszName == nullptr) continue;
        if (const char* value = ReservedValue(reserved, child->pszName)) {
            description.reservedValues.emplace_back(child->pszName, value);
        }
    }
}

bool ReadBoolean(const BRANCH_STRUCT& reserved, const char* name, bool& value, std::string& error) {
    const char* text = ReservedValue(reserved, name);
    if (text == nullptr || (std::strcmp(text, "True") != 0 && std::strcmp(text, "False") != 0)) {
        error = std::string(text == nullptr ? "does not declare " : "has no True or False for ") + name;
        return false;
    }
    value = std::strcmp(text, "True") == 0;
    return true;
}

// A count the file may leave out (value unchanged then); article goes
// before the name in the message.
bool ReadCount(const BRANCH_STRUCT& reserved, const char* article, const char* name, const char* unit, long& value,
               std::string& error) {
    const char* text = ReservedValue(reserved, name);
    if (text == nullptr) return true;
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0) {
        error = std::string("has ") + article + " " + name + " of " + text + ", not a count of " + unit;
        return false;
    }
    return true;
}

// The reserved parameters of Usage In (or InOut), which the host passes.
bool ReadReservedInputs(const BRANCH_STRUCT& reserved, const FileLines& lines, AmiDescription& description,
                        std::string& error) {
    for (int i = 0; i < reserved.iNumChildren; ++i) {
        const BRANCH_STRUCT* child = AsBranch(reserved.pChildren[i]);
        if (child == nullptr || child->pszName == nullptr || !IsParameter(*child)) continue;
        AmiParameter parameter;
        if (!ReadParameter(*child, {child->pszName}, lines, true, parameter, error)) return false;
        if (parameter.IsInput()) description.reservedInputs.push_back(parameter);
    }
    return true;
}

bool ReadReserved(const BRANCH_STRUCT& root, const FileLines& lines, AmiDescription& description,
                  std::string& error) {
    const BRANCH_STRUCT* reserved = ChildBranch(root, "Reserved_Parameters");
    if (reserved == nullptr) {
        error = "has no Reserved_Parameters";
        return false;
    }
    if (const char* modulation = ReservedValue(*reserved, "Modulation")) description.modulation = modulation;
    ReadReservedValues(*reserved, description);
    if (!ReadReservedInputs(*reserved, lines, description, error)) return false;
    if (!ReadBoolean(*reserved, "Init_Returns_Impulse", description.initReturnsImpulse, error) ||
        !ReadBoolean(*reserved, "GetWave_Exists", description.getWaveExists, error)) {
        return false;
    }
    return ReadCount(*reserved, "an", "Ignore_Bits", "bits", description.ignoreBits, error) &&
           ReadCount(*reserved, "a", "Max_Init_Aggressors", "aggressors", description.maxInitAggressors, error);
}

}  // namespace

namespace {

// The text without its comments: IBIS allows '|' to the end of a line,
// anywhere outside a quoted string (a file may start with a few lines of
// them). Line breaks stay, so that the text keeps its shape.
std::string WithoutComments(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    bool quoted = false;
    bool comment = false;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            comment = false;
        } else if (comment) {
            continue;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == '|' && !quoted) {
            comment = true;
            continue;
        }
        kept += c;
    }
    return kept;
}

}  // namespace

bool ParseAmiText(const std::string& text, AmiDescription& description, std::string& error) {
    ParsedTree tree;
    const std::string uncommented = WithoutComments(text);
    const int code = tree.Parse(uncommented);
    if (code != AMI_PARSE_SUCCESS) {
        error = std::string("does not parse: ") + ParseFailure(code);
        return false;
    }
    const BRANCH_STRUCT* root = tree.Root();
    if (root == nullptr || root->pszName == nullptr) {
        error = "does not parse: it has no root branch";
        return false;
    }
    description = AmiDescription();
    description.modelName = root->pszName;
    const FileLines lines(uncommented);
    if (!ReadReserved(*root, lines, description, error)) {
        return false;
    }
    const BRANCH_STRUCT* specific = ChildBranch(*root, "Model_Specific");
    return specific == nullptr || ReadParameters(*specific, {}, lines, description, error);
}

namespace {

AmiNode TreeNode(const NODE_STRUCT& node) {
    AmiNode tree;
    if (const LEAF_STRUCT* leaf = AsLeaf(node)) {
        tree.name = leaf->pszName ? leaf->pszName : "";
        tree.values = Values(*leaf, 0);
    } else if (const BRANCH_STRUCT* branch = AsBranch(node)) {
        tree.name = branch->pszName ? branch->pszName : "";
        for (int i = 0; i < branch->iNumChildren; ++i) tree.children.push_back(TreeNode(branch->pChildren[i]));
    }
    return tree;
}

}  // namespace

bool ReadAmiTree(const std::string& text, AmiNode& root, std::string& error) {
    ParsedTree tree;
    const int code = tree.Parse(WithoutComments(text));
    const BRANCH_STRUCT* branch = code == AMI_PARSE_SUCCESS ? tree.Root() : nullptr;
    if (branch == nullptr) {
        error = std::string("does not parse: ") + (code == AMI_PARSE_SUCCESS ? "it has no root branch" : ParseFailure(code));
        return false;
    }
    NODE_STRUCT node{NODE_TYPE_BRANCH, 1, const_cast<BRANCH_STRUCT*>(branch)};
    root = TreeNode(node);
    return true;
}

bool ReadAmiFile(const std::string& path, AmiDescription& description, std::string& error) {
    std::ifstream file;
    if (!OpenInputFile(path, "the .ami file", kMaxAmiFileBytes, file, error)) return false;
    std::ostringstream text;
    text << file.rdbuf();
    if (!ParseAmiText(text.str(), description, error)) {
        error = ".ami file " + path + " " + error;
        return false;
    }
    return true;
}

}  // namespace linksim
