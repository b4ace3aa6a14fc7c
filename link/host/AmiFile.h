// Reads a model's .ami parameter file with the project's parameter parser.
#ifndef LINK_AMI_FILE_H
#define LINK_AMI_FILE_H

#include <string>

#include "AmiDescription.h"

namespace linksim {

// The root branch names the model; Reserved_Parameters gives
// Init_Returns_Impulse, GetWave_Exists and Ignore_Bits (their Value, or
// Default); every branch of Model_Specific that has leaves is a parameter
// and every branch with only branches a group of them. False, with the
// reason in error ("does not parse: ..."), when the text does not parse or
// lacks Init_Returns_Impulse or GetWave_Exists. ReadAmiFile's error names
// the file.
bool ParseAmiText(const std::string& text, AmiDescription& description, std::string& error);
bool ReadAmiFile(const std::string& path, AmiDescription& description, std::string& error);

}  // namespace linksim

#endif
