#include "DFErrorHandler.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace Tessel {

namespace {
// The text and its newline go to the stream in one call, so that messages
// that instances in several threads post at once never share a line.
void WriteLine(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    try {
        std::string line;
        line.reserve(std::strlen(text) + 1);
        line.append(text).push_back('\n');
        std::fwrite(line.data(), 1, line.size(), stderr);
    } catch (...) {
        // No memory for the line: the text still gets out, in two pieces.
        std::fputs(text, stderr);
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}
}  // namespace

void DFErrorHandler::PostError(DFModel*, const char* text) { WriteLine(text); }
void DFErrorHandler::PostWarning(DFModel*, const char* text) { WriteLine(text); }
void DFErrorHandler::PostLog(DFModel*, const char* text) { WriteLine(text); }
void DFErrorHandler::PostInfo(DFModel*, const char* text) { WriteLine(text); }
void DFErrorHandler::PostProgress(DFModel*, const char* text) { WriteLine(text); }
void DFErrorHandler::ClearProgress(DFModel*) {}
bool DFErrorHandler::StopRequested() { return false; }

}  // namespace Tessel
