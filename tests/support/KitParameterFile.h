// A kit parameter file (.ami) read with the models' own parser, for tests
// that hold the file against the schematic it describes.
#ifndef TESTS_SUPPORT_KIT_PARAMETER_FILE_H
#define TESTS_SUPPORT_KIT_PARAMETER_FILE_H

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AmiParamParser.h"

class KitParameterFile {
public:
    // Reads <kit>/<model>.ami; paths below are relative to the model's root.
    explicit KitParameterFile(const std::string& model)
        : modelRoot(model), text(FileText(std::string(TESSEL_KIT_DIR) + "/" + model + ".ami")), parser(text.c_str()) {}

    // The values of the leaf at root.<path>, as text; empty when absent.
    std::vector<std::string> Values(const std::string& path) const {
        std::vector<std::string> values;
        const LEAF_STRUCT* leaf = parser.GetLeaf((modelRoot + "." + path).c_str());
        for (int i = 0; leaf != nullptr && i < leaf->iNumValues; ++i) values.push_back(leaf->pValues[i].pszValue);
        return values;
    }
    std::string Value(const std::string& path) const {
        const std::vector<std::string> values = Values(path);
        return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " values>";
    }
    std::vector<double> Numbers(const std::string& path) const {
        std::vector<double> numbers;
        for (const std::string& value : Values(path)) numbers.push_back(std::atof(value.c_str()));
        return numbers;
    }

    // The List settings whose first entry is not their Default (or that
    // lack one): hosts that read only the first entry would run them on
    // another value than the model's own default.
    std::vector<std::string> ListsNotLedByTheirDefault() const {
        std::vector<std::string> wrong;
        for (int i = 0; i < parser.GetTree()->iNumNodes; ++i) {
            const NODE_STRUCT& node = parser.GetTree()->pNodes[i];
            if (node.iLevel != 3 || node.enumNodeType != NODE_TYPE_BRANCH) continue;
            const std::string path = std::string("Model_Specific.") + static_cast<const BRANCH_STRUCT*>(node.pNode)->pszName;
            const std::vector<std::string> list = Values(path + ".List");
            const std::vector<std::string> defaults = Values(path + ".Default");
            if (!list.empty() && (defaults.size() != 1 || list[0] != defaults[0])) wrong.push_back(path);
        }
        return wrong;
    }

    const std::string modelRoot;
    const std::string text;
    const Tessel::AMI::ParamParser parser;

private:
    static std::string FileText(const std::string& path) {
        std::ifstream file(path);
        std::ostringstream contents;
        contents << file.rdbuf();
        return contents.str();
    }
};

#endif
