// Library preconditions (index bounds of buffers, matrices, splines).
//
// The shared dataflow and parameter code is compiled twice: the receiver
// flavour (TESSEL_CHECKED=1) stops the process with the condition's text
// when a caller breaks a precondition, the transmitter flavour does not
// test them at all. Either way a broken precondition is a programming
// error, never a run-time answer.
#ifndef TESSEL_PRECONDITION_H
#define TESSEL_PRECONDITION_H

#ifndef TESSEL_CHECKED
#define TESSEL_CHECKED 0
#endif

namespace Tessel {
// Writes "Precondition failed: <text>" to standard error and aborts.
[[noreturn]] void PreconditionFailed(const char* text);
}  // namespace Tessel

#if TESSEL_CHECKED
#define TESSEL_PRECONDITION(condition, text)         \
    do {                                             \
        if (!(condition)) {                          \
            ::Tessel::PreconditionFailed(text);      \
        }                                            \
    } while (false)
#else
// The condition stays an unevaluated operand so that variables used only in
// a precondition do not turn into unused-variable warnings.
#define TESSEL_PRECONDITION(condition, text)      \
    do {                                          \
        (void)sizeof((condition) ? 1 : 0);        \
        (void)sizeof(text);                       \
    } while (false)
#endif

#endif
