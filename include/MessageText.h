// Composes a block message from literal pieces and numbers. Numbers take the
// default stream format (doubles with 6 significant digits, so 4e+14 or
// 710.476), which is how the blocks' texts show them, in the classic "C"
// locale whatever locale the host has set.
#ifndef TESSEL_MESSAGE_TEXT_H
#define TESSEL_MESSAGE_TEXT_H

#include <locale>
#include <sstream>
#include <string>

namespace Tessel {

template <typename... Pieces>
std::string MessageText(const Pieces&... pieces) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    (text << ... << pieces);
    return text.str();
}

}  // namespace Tessel

#endif
