// Reading what orvex-link left behind: a file's bytes, summary.json
// parsed, and a picture's width.
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

// The width of a PNG picture, 0 when the file is none.
inline unsigned PngWidth(const std::string& path) {
    const std::string head = ReadFile(path).substr(0, 24);
    if (head.size() < 24 || head.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return 0;
    unsigned width = 0;
    for (size_t i = 16; i < 20; ++i) width = width << 8 | unsigned(static_cast<unsigned char>(head[i]));
    return width;
}

#endif
