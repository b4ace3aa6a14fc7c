#include "cmn.h"

#include "errlog.h"

#include <limits.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

namespace {

const char kModuleName[] = "cmn";
// The source position that the failed-string-copy report has always named;
// log readers match on it.
const int kStrMakeReportLine = 1878;

std::atomic<long> glAllocationsUntilFailure(-1);
std::atomic<unsigned long> gulReallocations(0);

[[noreturn]] void s_assertFailed(int line) {
    printf("%s:%d:assertion failed.\n", kModuleName, line);
    fflush(stdout);
    abort();
}

#define CMN_ASSERT(condition)          \
    do {                               \
        if (!(condition)) {            \
            s_assertFailed(__LINE__);  \
        }                              \
    } while (false)

bool s_allocationAllowed() {
    if (glAllocationsUntilFailure.load(std::memory_order_relaxed) < 0) {
        return true;
    }
    return glAllocationsUntilFailure.fetch_sub(1) != 0;
}

void* s_zeroFilled(size_t n) { return s_allocationAllowed() ? calloc(n, 1) : NULL; }

// The log's "%u" takes an unsigned int; larger requests print as its maximum.
unsigned int s_requestForLog(size_t n) {
    return n > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(n);
}

// The "C" locale, made once; numbers are converted in it so that a host's
// setlocale (a comma as decimal separator) cannot change what a value means.
#if defined(_WIN32)
typedef _locale_t CLocale;
CLocale s_cLocale() {
    static const CLocale locale = _create_locale(LC_ALL, "C");
    return locale;
}
double s_strtod(const char* text, char** end, CLocale locale) { return _strtod_l(text, end, locale); }
long s_strtol(const char* text, char** end, int base, CLocale locale) { return _strtol_l(text, end, base, locale); }
#else
typedef locale_t CLocale;
CLocale s_cLocale() {
    static const CLocale locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}
double s_strtod(const char* text, char** end, CLocale locale) { return strtod_l(text, end, locale); }
long s_strtol(const char* text, char** end, int base, CLocale locale) { return strtol_l(text, end, base, locale); }
#endif

}  // namespace

extern "C" {

int CMN_malloc(void** p, size_t n) {
    CMN_ASSERT(p != NULL);
    CMN_ASSERT(n != 0);
    *p = s_zeroFilled(n);
    if (*p == NULL) {
        ERRLOG_ErrorNew(ERRLOG_MSG_ALLOC_FAILED, s_requestForLog(n));
        return 0;
    }
    return 1;
}

int CMN_realloc(void** p, size_t n) {
    CMN_ASSERT(p != NULL);
    CMN_ASSERT(n != 0);
    void* resized = s_allocationAllowed() ? realloc(*p, n) : NULL;
    if (resized == NULL) {
        ERRLOG_ErrorNew(ERRLOG_MSG_REALLOC_FAILED, s_requestForLog(n));
        return 0;
    }
    *p = resized;
    gulReallocations.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void CMN_freeSetNull(void** p) {
    CMN_ASSERT(p != NULL);
    CMN_ASSERT(*p != NULL);
    free(*p);
    *p = NULL;
}

char* CMN_StrMake(const char* s) {
    if (s == NULL) {
        return NULL;
    }
    const size_t size = strlen(s) + 1;
    char* copy = static_cast<char*>(s_zeroFilled(size));
    if (copy == NULL) {
        ERRLOG_BugNew(ERRLOG_MSG_STRING_ALLOC_FAILED, kModuleName, kStrMakeReportLine);
        return NULL;
    }
    memcpy(copy, s, size);
    return copy;
}

char* CMN_StrMakeN(const char* s, int n) {
    if (s == NULL || n < 0) {
        return NULL;
    }
    char* copy = static_cast<char*>(s_zeroFilled(static_cast<size_t>(n) + 1));
    if (copy == NULL) {
        return NULL;
    }
    for (int i = 0; i < n && s[i] != '\0'; ++i) {
        copy[i] = s[i];
    }
    return copy;
}

int CMN_IsWhitespace(int c) {
    switch (static_cast<unsigned char>(c)) {
        case ' ':
        case '\t':
        case '\n':
        case '\v':
        case '\f':
        case '\r':
            return 1;
        default:
            return 0;
    }
}

double CMN_StrToDouble(const char* text, char** end) {
    const CLocale locale = s_cLocale();
    // Only when the locale could not be made (memory exhausted at the very
    // first use) does the host's locale decide.
    return locale ? s_strtod(text, end, locale) : strtod(text, end);
}

long CMN_StrToLong(const char* text, char** end, int base) {
    const CLocale locale = s_cLocale();
    return locale ? s_strtol(text, end, base, locale) : strtol(text, end, base);
}

void CMN_EatWhitespace(char** p) {
    if (p == NULL || *p == NULL) {
        return;
    }
    while (**p != '\0' && CMN_IsWhitespace(**p)) {
        ++*p;
    }
}

void CMN_SimulateAllocationFailure(long successes) { glAllocationsUntilFailure.store(successes); }

unsigned long CMN_ReallocationCount(void) { return gulReallocations.load(std::memory_order_relaxed); }

}  // extern "C"
