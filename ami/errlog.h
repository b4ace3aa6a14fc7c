/* Numbered message log.
 *
 * Every message has a number that is looked up in one constant table of
 * printf formats; the formatted text is counted by severity and written as
 * one line (or two, when it would just overflow an 80-column line) to the
 * log stream. The parameter-string parser's memory functions report
 * through it, and a caller of the parser may translate the parser's result
 * codes into it.
 *
 * Safe to use from several threads at once: the functions below read and
 * write the globals atomically (code that reads or writes them directly
 * should do so from one thread only), and each line reaches the stream in
 * one write, so lines of concurrent messages never merge.
 */
#ifndef AMI_ERRLOG_H
#define AMI_ERRLOG_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Severities. Even codes are plain; odd codes also print the current input
 * line number (PARSE_GetLineNum). */
enum {
    ERRLOG_SEVERITY_BUG = 0,
    ERRLOG_SEVERITY_BUG_LINE = 1,
    ERRLOG_SEVERITY_ERROR = 2,
    ERRLOG_SEVERITY_ERROR_LINE = 3,
    ERRLOG_SEVERITY_WARNING = 4,
    ERRLOG_SEVERITY_WARNING_LINE = 5,
    ERRLOG_SEVERITY_CAUTION = 6,
    ERRLOG_SEVERITY_CAUTION_LINE = 7,
    ERRLOG_SEVERITY_NOTE = 8,
    ERRLOG_SEVERITY_NOTE_LINE = 9,
    ERRLOG_SEVERITY_INFO = 10
};

/* Message numbers the parameter parser and its callers use. */
enum {
    ERRLOG_MSG_UNKNOWN = 0,
    ERRLOG_MSG_ALLOC_FAILED = 1906,
    ERRLOG_MSG_REALLOC_FAILED = 1907,
    ERRLOG_MSG_STRING_ALLOC_FAILED = 1908,
    ERRLOG_MSG_AMI_MISMATCHED_PARENTHESES = 4619,
    ERRLOG_MSG_AMI_NO_OPENING_PARENTHESIS = 4620,
    ERRLOG_MSG_AMI_INTERNAL_ERROR = 4621,
    ERRLOG_MSG_AMI_INVALID_SYNTAX = 4634,
    ERRLOG_MSG_AMI_TOO_FEW_NODES = 4635
};

/* Log stream; null means standard output, filled in at the first message. */
extern FILE* gpLogFile;
/* 1 (the default): lines without the message number; 0: with it. */
extern int gbOldStyleErrors;
extern int gbSuppressBugs;
extern int gbSuppressErrors;
extern int gbSuppressWarns;
/* Lines written, by severity; never reset. */
extern unsigned long gulBug_cnt;
extern unsigned long gulError_cnt;
extern unsigned long gulWarn_cnt;
extern unsigned long gulCaution_cnt;

/* Looks the number up and writes its formatted text with the severity of
 * the function's name, unless that severity is suppressed. An unknown
 * number writes the text of message 0 as information instead. */
void ERRLOG_ErrorNew(int number, ...);
void ERRLOG_BugNew(int number, ...);
/* The same for any severity code above. */
void ERRLOG_LogNew(int severity, int number, ...);

/* Row index of the number in the message table, or -1. */
int BSearchErrorLogTable(int number);
/* The format of a table row, or null for an index outside the table. */
const char* ERRLOG_GetFormat(int row);

void ERRLOG_SetOutputFile(FILE* file);
/* Reads the bug, error and warning counters; null pointers are skipped. */
void ERRLOG_GetCounts(unsigned long* bugs, unsigned long* errors, unsigned long* warnings);
void ERRLOG_SuppressBugs(int suppress);
void ERRLOG_SuppressErrors(int suppress);
void ERRLOG_SuppressWarns(int suppress);

/* The input line counter printed by the line-numbered severities. Nothing
 * in the models reads a file, so it stays 0 there. */
unsigned long PARSE_GetLineNum(void);
void PARSE_SetLineNum(unsigned long line);

#ifdef __cplusplus
}
#endif

#endif
