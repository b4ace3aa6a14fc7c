/* Common utilities of the parameter-string parser: zero-filled allocation
 * that reports its failures through the message log, string copies and
 * whitespace handling.
 *
 * Misuse (a null pointer argument, a zero-byte request, freeing a null
 * block) is a programming error: it prints "cmn:<line>:assertion failed."
 * to standard output and aborts the process.
 */
#ifndef AMI_CMN_H
#define AMI_CMN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* *p = a zero-filled block of n bytes; returns 1. On failure logs message
 * 1906 with n, sets *p to null and returns 0. */
int CMN_malloc(void** p, size_t n);
/* Resizes *p to n bytes (new bytes not cleared); returns 1. On failure logs
 * message 1907 with n, leaves *p (still owned by the caller) unchanged and
 * returns 0. */
int CMN_realloc(void** p, size_t n);
/* Frees *p and sets it to null. */
void CMN_freeSetNull(void** p);

/* A new copy of s (null for null s); a failed allocation logs message 1908
 * as a program bug and gives null. Free with CMN_freeSetNull. */
char* CMN_StrMake(const char* s);
/* A new zero-filled block of n + 1 bytes holding the first n characters of
 * s (fewer when s ends before) and a terminator; null on failure, on a null
 * s or a negative n, with no message. */
char* CMN_StrMakeN(const char* s, int n);

/* isspace of the character in the "C" locale, whatever locale the host
 * process has set: blank, tab, newline, vertical tab, form feed, carriage
 * return. Bytes above 127 are never whitespace. */
int CMN_IsWhitespace(int c);
/* Advances *p over whitespace, up to the terminator. Runs of any length are
 * skipped. A null p or *p does nothing. */
void CMN_EatWhitespace(char** p);

/* strtod and strtol (base 10 or any base strtol takes) in the "C" locale,
 * whatever locale the host process has set: a decimal point is always ".",
 * and hexadecimal, "inf" and "nan" keep their meaning. Thread-safe. */
double CMN_StrToDouble(const char* text, char** end);
long CMN_StrToLong(const char* text, char** end, int base);

/* Fault injection for tests and fuzzing: the allocation (CMN_malloc,
 * CMN_realloc, CMN_StrMake, CMN_StrMakeN) that follows `successes` further
 * successful ones fails once, as if memory were exhausted. A negative value
 * (the default) switches it off. */
void CMN_SimulateAllocationFailure(long successes);
/* Successful CMN_realloc calls since the process started, for tests that
 * check how arrays grow. */
unsigned long CMN_ReallocationCount(void);

#ifdef __cplusplus
}
#endif

#endif
