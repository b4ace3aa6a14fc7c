// Reading what orvex-link left behind: a file's bytes, and summary.json
// parsed.
#ifndef LINK_TEST_PROGRAM_OUTPUT_H
#define LINK_TEST_PROGRAM_OUTPUT_H

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The summary of the run in folder out; null when it is missing or no JSON.
inline nlohmann::json ReadSummary(const std::string& out) {
    return nlohmann::json::parse(ReadFile(out + "/summary.json"), nullptr, false);
}

#endif
