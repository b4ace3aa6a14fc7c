#include "CornerJob.h"

namespace linksweep {

std::string ShellQuote(const std::string& text) {
    const std::string plain =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=.,:/@%";
    if (!text.empty() && text.find_first_not_of(plain) == std::string::npos) return text;
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

std::string UnsafeForJobLines(const std::vector<std::pair<std::string, std::string>>& namedTexts) {
    for (const auto& [name, text] : namedTexts) {
        for (unsigned char c : text) {
            if (c < 0x20 || c == 0x7f) {
                return name + " holds a newline or another control character, which no line of a jobs file or "
                              "Slurm script can carry safely";
            }
        }
    }
    return "";
}

}  // namespace linksweep
