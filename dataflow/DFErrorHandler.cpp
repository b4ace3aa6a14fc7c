#include "DFErrorHandler.h"

#include <cstdio>

namespace Tessel {

namespace {
void WriteLine(const char* text) {
    std::fputs(text != nullptr ? text : "", stderr);
    std::fputc('\n', stderr);
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
