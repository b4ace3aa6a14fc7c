#include "cmn.h"

#include "errlog.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kModuleName[] = "cmn";
// The source position that the failed-string-copy report has always named;
// log readers match on it.
const int kStrMakeReportLine = 1878;

long glAllocationsUntilFailure = -1;

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
    if (glAllocationsUntilFailure < 0) {
        return true;
    }
    return glAllocationsUntilFailure-- != 0;
}

void* s_zeroFilled(size_t n) { return s_allocationAllowed() ? calloc(n, 1) : NULL; }

// The log's "%u" takes an unsigned int; larger requests print as its maximum.
unsigned int s_requestForLog(size_t n) {
    return n > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(n);
}

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

int CMN_IsWhitespace(int c) { return isspace(static_cast<unsigned char>(c)) != 0; }

void CMN_EatWhitespace(char** p) {
    if (p == NULL || *p == NULL) {
        return;
    }
    while (**p != '\0' && CMN_IsWhitespace(**p)) {
        ++*p;
    }
}

void CMN_SimulateAllocationFailure(long successes) { glAllocationsUntilFailure = successes; }

}  // extern "C"
