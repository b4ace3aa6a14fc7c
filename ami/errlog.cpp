#include "errlog.h"

#include <stdarg.h>
#include <string.h>

FILE* gpLogFile = NULL;
int gbOldStyleErrors = 1;
int gbSuppressBugs = 0;
int gbSuppressErrors = 0;
int gbSuppressWarns = 0;
unsigned long gulBug_cnt = 0;
unsigned long gulError_cnt = 0;
unsigned long gulWarn_cnt = 0;
unsigned long gulCaution_cnt = 0;

namespace {

struct ErrorLogRow {
    int number;
    const char* format;
};

// Sorted by ascending number; row 0 stands in for every unknown number.
const ErrorLogRow errorLogTable[] = {
    {ERRLOG_MSG_UNKNOWN, "Error code doesn't exist."},
    {ERRLOG_MSG_ALLOC_FAILED, "Memory allocation failed.  This request %u."},
    {ERRLOG_MSG_REALLOC_FAILED, "Memory reallocation failed.  This request %u."},
    {ERRLOG_MSG_STRING_ALLOC_FAILED, "Unable to Allocate Memory: %s %d"},
    {ERRLOG_MSG_AMI_MISMATCHED_PARENTHESES, "The AMI parameter file has mismatched parenthesis"},
    {ERRLOG_MSG_AMI_NO_OPENING_PARENTHESIS, "The AMI parameter file should start with a parenthesis"},
    {ERRLOG_MSG_AMI_INTERNAL_ERROR, "Internal error while parsing AMI Parameter file"},
    {ERRLOG_MSG_AMI_INVALID_SYNTAX,
     "Invalid syntax of branch or leaf. At least 2 elements expected in a list"},
    {ERRLOG_MSG_AMI_TOO_FEW_NODES, "Too few nodes in branches or leaves"},
};
const int kErrorLogRows = static_cast<int>(sizeof errorLogTable / sizeof errorLogTable[0]);

// How each severity is written. A text whose length lies in the wrap band
// goes on a second line, indented, after the prefix: the band starts where
// an old-style prefix plus the text reach 80 columns.
struct SeverityStyle {
    const char* oldLabel;  // old-style prefix; null: not written in the old style
    char letter;           // new-style prefix, followed by the message number
    bool withLine;         // prints the input line number
    size_t wrapFrom;       // wrap band, both ends included; 0 and 0: never wrapped
    size_t wrapTo;
    unsigned long* counter;  // null: not counted
    const int* suppressed;   // null: never suppressed
};

const SeverityStyle kSeverities[] = {
    /* ERRLOG_SEVERITY_BUG          */ {"PROGRAM BUG", 'B', false, 0, 0, &gulBug_cnt, &gbSuppressBugs},
    /* ERRLOG_SEVERITY_BUG_LINE     */ {"PROGRAM BUG", 'B', true, 0, 0, &gulBug_cnt, &gbSuppressBugs},
    /* ERRLOG_SEVERITY_ERROR        */ {"ERROR", 'E', false, 72, 75, &gulError_cnt, &gbSuppressErrors},
    /* ERRLOG_SEVERITY_ERROR_LINE   */ {"ERROR", 'E', true, 60, 75, &gulError_cnt, &gbSuppressErrors},
    /* ERRLOG_SEVERITY_WARNING      */ {"WARNING", 'W', false, 70, 75, &gulWarn_cnt, &gbSuppressWarns},
    /* ERRLOG_SEVERITY_WARNING_LINE */ {"WARNING", 'W', true, 58, 75, &gulWarn_cnt, &gbSuppressWarns},
    /* ERRLOG_SEVERITY_CAUTION      */ {"CAUTION", 'C', false, 70, 75, &gulCaution_cnt, NULL},
    /* ERRLOG_SEVERITY_CAUTION_LINE */ {"CAUTION", 'C', true, 58, 75, &gulCaution_cnt, NULL},
    /* ERRLOG_SEVERITY_NOTE         */ {"NOTE", 'N', false, 73, 75, NULL, NULL},
    /* ERRLOG_SEVERITY_NOTE_LINE    */ {"NOTE", 'N', true, 61, 75, NULL, NULL},
    /* ERRLOG_SEVERITY_INFO         */ {NULL, 'I', false, 0, 0, NULL, NULL},
};
const int kSeverityCount = static_cast<int>(sizeof kSeverities / sizeof kSeverities[0]);

// Longer texts are cut; the parser's own texts are far shorter.
const size_t kMaxTextLength = 2207;

const int kLineNumberWidth = 4;
unsigned long gulLineNum = 0;

// The globals may be used by several threads at once (models initialised
// in parallel): they are read and written with atomic operations, and each
// line goes to the stream in one call, so that lines never merge.
template <typename T>
T s_load(const T& global) {
    return __atomic_load_n(&global, __ATOMIC_ACQUIRE);
}

template <typename T>
void s_store(T& global, T value) {
    __atomic_store_n(&global, value, __ATOMIC_RELEASE);
}

FILE* s_logStream() {
    FILE* stream = s_load(gpLogFile);
    if (stream == NULL) {
        // Filled in once; a stream set meanwhile by another thread wins.
        FILE* expected = NULL;
        FILE* const standardOutput = stdout;
        stream = __atomic_compare_exchange_n(&gpLogFile, &expected, standardOutput, false, __ATOMIC_ACQ_REL,
                                             __ATOMIC_ACQUIRE)
                     ? standardOutput
                     : expected;
    }
    return stream;
}

// Prefix, optional line number, separator, text and newline.
const size_t kMaxLineLength = kMaxTextLength + 64;

void s_writeLine(const SeverityStyle& style, int number, const char* text) {
    char line[kMaxLineLength + 1];
    int length = s_load(gbOldStyleErrors) ? snprintf(line, sizeof line, "%s", style.oldLabel)
                                          : snprintf(line, sizeof line, "%c%04d", style.letter, number);
    if (style.withLine && length >= 0 && static_cast<size_t>(length) < sizeof line) {
        length += snprintf(line + length, sizeof line - length, " (line %*lu)", kLineNumberWidth,
                           PARSE_GetLineNum());
    }
    const size_t textLength = strlen(text);
    const bool wrapped = style.wrapTo != 0 && textLength >= style.wrapFrom && textLength <= style.wrapTo;
    if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
        snprintf(line + length, sizeof line - length, "%s%s\n", wrapped ? " -\n    " : " - ", text);
    }
    fputs(line, s_logStream());
}

// Writes an already formatted text with its severity and counts it.
void s_logText(int number, int severity, const char* text) {
    const SeverityStyle& style = kSeverities[severity];
    if (!s_load(gbOldStyleErrors) || style.oldLabel != NULL) {
        s_writeLine(style, number, text);
    }
    if (style.counter != NULL) {
        __atomic_fetch_add(style.counter, 1UL, __ATOMIC_RELAXED);
    }
}

void s_ErrLogNew(int number, int severity, const char* format, va_list arguments) {
    char text[kMaxTextLength + 1];
    vsnprintf(text, sizeof text, format, arguments);
    s_logText(number, severity, text);
}

void s_vLogNew(int severity, int number, va_list arguments) {
    if (severity < 0 || severity >= kSeverityCount) {
        return;
    }
    const int row = BSearchErrorLogTable(number);
    if (row < 0) {
        // Message 0 holds no conversions: its format is its text.
        s_logText(0, ERRLOG_SEVERITY_INFO, errorLogTable[0].format);
        return;
    }
    const SeverityStyle& style = kSeverities[severity];
    if (style.suppressed != NULL && s_load(*style.suppressed)) {
        return;
    }
    s_ErrLogNew(number, severity, errorLogTable[row].format, arguments);
}

}  // namespace

extern "C" {

void ERRLOG_LogNew(int severity, int number, ...) {
    va_list arguments;
    va_start(arguments, number);
    s_vLogNew(severity, number, arguments);
    va_end(arguments);
}

void ERRLOG_ErrorNew(int number, ...) {
    va_list arguments;
    va_start(arguments, number);
    s_vLogNew(ERRLOG_SEVERITY_ERROR, number, arguments);
    va_end(arguments);
}

void ERRLOG_BugNew(int number, ...) {
    va_list arguments;
    va_start(arguments, number);
    s_vLogNew(ERRLOG_SEVERITY_BUG, number, arguments);
    va_end(arguments);
}

int BSearchErrorLogTable(int number) {
    int low = 0;
    int high = kErrorLogRows - 1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        if (errorLogTable[middle].number == number) {
            return middle;
        }
        if (errorLogTable[middle].number < number) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return -1;
}

const char* ERRLOG_GetFormat(int row) {
    return row >= 0 && row < kErrorLogRows ? errorLogTable[row].format : NULL;
}

void ERRLOG_SetOutputFile(FILE* file) { s_store(gpLogFile, file); }

void ERRLOG_GetCounts(unsigned long* bugs, unsigned long* errors, unsigned long* warnings) {
    if (bugs != NULL) {
        *bugs = s_load(gulBug_cnt);
    }
    if (errors != NULL) {
        *errors = s_load(gulError_cnt);
    }
    if (warnings != NULL) {
        *warnings = s_load(gulWarn_cnt);
    }
}

void ERRLOG_SuppressBugs(int suppress) { s_store(gbSuppressBugs, suppress); }
void ERRLOG_SuppressErrors(int suppress) { s_store(gbSuppressErrors, suppress); }
void ERRLOG_SuppressWarns(int suppress) { s_store(gbSuppressWarns, suppress); }

unsigned long PARSE_GetLineNum(void) { return s_load(gulLineNum); }
void PARSE_SetLineNum(unsigned long line) { s_store(gulLineNum, line); }

}  // extern "C"
