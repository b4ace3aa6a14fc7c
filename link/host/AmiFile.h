// Reads a model's .ami parameter file with the project's parameter parser.
#ifndef LINK_AMI_FILE_H
#define LINK_AMI_FILE_H

#include <string>
#include <vector>

#include "AmiDescription.h"

namespace linksim {

// The root branch names the model; Reserved_Parameters gives
// Init_Returns_Impulse, GetWave_Exists and Ignore_Bits (their Value, or
// Default); every branch of Model_Specific that has leaves is a parameter
// and every branch with only branches (and perhaps a Description) a group
// of them. False, with the
// reason in error ("does not parse: ..."), when the text does not parse or
// lacks Init_Returns_Impulse or GetWave_Exists. ReadAmiFile's error names
// the file.
bool ParseAmiText(const std::string& text, AmiDescription& description, std::string& error);
bool ReadAmiFile(const std::string& path, AmiDescription& description, std::string& error);

// A parameter tree as a model writes it (its AMI_parameters_out): each
// branch's leaves with their values, and its branches.
struct AmiNode {
    std::string name;
    std::vector<std::string> values;  // a leaf's; empty for a branch
    std::vector<AmiNode> children;    // a branch's
};
// False with the reason in error when the text is no tree.
bool ReadAmiTree(const std::string& text, AmiNode& root, std::string& error);

}  // namespace linksim

#endif
