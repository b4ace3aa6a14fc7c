// Symbol visibility of the dataflow library.
//
// Both model libraries hide every internal symbol so that a simulator that
// loads several models into one process never sees two definitions clash.
// The transmitter library, however, publishes a few dataflow classes as part
// of its interface; its flavour of the shared code is compiled with
// TESSEL_EXPORT_LIBRARY_CLASSES so that exactly those classes are exported.
#ifndef TESSEL_EXPORT_H
#define TESSEL_EXPORT_H

#if defined(TESSEL_EXPORT_LIBRARY_CLASSES) && TESSEL_EXPORT_LIBRARY_CLASSES
#if defined(_WIN32)
#define TESSEL_EXPORT __declspec(dllexport)
#else
#define TESSEL_EXPORT __attribute__((visibility("default")))
#endif
#else
#define TESSEL_EXPORT
#endif

// The IBIS-AMI entry points: unmangled C functions with the C calling
// convention, always exported.
#if defined(_WIN32)
#define AMI_EXPORT extern "C" __declspec(dllexport)
#else
#define AMI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif
