// Keeping watch over the calls into a model library: a model that crashes
// or never returns takes the whole process with it, so the host says which
// model and which entry point it was before it goes.
//
// Every call into a model runs inside a ModelCall. A program that wants the
// report (orvex-link) installs the crash report once, and may set a time
// limit per call; a crash or a call over the limit then ends the process
// with one line on standard error naming the model and the entry point, and
// exit status 1. A crash outside any model call is left to the system.
#ifndef LINK_MODEL_WATCH_H
#define LINK_MODEL_WATCH_H

#include <string>

namespace linksim {

// Handlers for the signals of a crash (segmentation fault, bus error,
// arithmetic fault, illegal instruction, abort), on a stack of their own so
// that a model that overflows its stack is reported too. program prefixes
// the line.
void InstallCrashReport(const char* program);

// A limit on the time of every model call from now on; 0 or less: none.
void SetModelTimeout(double seconds);

// The current call into a model, from construction to destruction. Calls
// are made one at a time, on one thread.
class ModelCall {
public:
    ModelCall(const std::string& model, const char* entryPoint);
    ~ModelCall();
    ModelCall(const ModelCall&) = delete;
    ModelCall& operator=(const ModelCall&) = delete;
};

}  // namespace linksim

#endif
