#include "LogCapture.h"
#include "errlog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Message 1908 formats "Unable to Allocate Memory: %s %d"; with the number
// 1 its text is 29 characters plus the inserted word.
void LogTextOfLength(int severity, size_t length) {
    const std::string word(length - 29, 'x');
    ERRLOG_LogNew(severity, ERRLOG_MSG_STRING_ALLOC_FAILED, word.c_str(), 1);
}

TEST(ErrorLog, AllocationFailureIsOneCountedErrorLine) {
    LogCapture log;
    unsigned long errorsBefore = 0;
    ERRLOG_GetCounts(nullptr, &errorsBefore, nullptr);
    ERRLOG_ErrorNew(ERRLOG_MSG_ALLOC_FAILED, 24u);
    EXPECT_EQ(log.Take(), "ERROR - Memory allocation failed.  This request 24.\n");
    unsigned long errorsAfter = 0;
    ERRLOG_GetCounts(nullptr, &errorsAfter, nullptr);
    EXPECT_EQ(errorsAfter, errorsBefore + 1);

    gbOldStyleErrors = 0;
    ERRLOG_ErrorNew(ERRLOG_MSG_REALLOC_FAILED, 7u);
    ERRLOG_BugNew(ERRLOG_MSG_STRING_ALLOC_FAILED, "cmn", 1878);
    EXPECT_EQ(log.Take(),
              "E1907 - Memory reallocation failed.  This request 7.\n"
              "B1908 - Unable to Allocate Memory: cmn 1878\n");
}

TEST(ErrorLog, SuppressedSeveritiesPrintAndCountNothing) {
    LogCapture log;
    unsigned long bugs = 0, errors = 0, warnings = 0;
    ERRLOG_GetCounts(&bugs, &errors, &warnings);
    ERRLOG_SuppressErrors(1);
    ERRLOG_SuppressBugs(1);
    ERRLOG_SuppressWarns(1);
    ERRLOG_ErrorNew(ERRLOG_MSG_ALLOC_FAILED, 24u);
    ERRLOG_BugNew(ERRLOG_MSG_AMI_INTERNAL_ERROR);
    ERRLOG_LogNew(ERRLOG_SEVERITY_WARNING_LINE, ERRLOG_MSG_AMI_TOO_FEW_NODES);
    EXPECT_EQ(log.Take(), "");
    unsigned long bugsAfter = 0, errorsAfter = 0, warningsAfter = 0;
    ERRLOG_GetCounts(&bugsAfter, &errorsAfter, &warningsAfter);
    EXPECT_EQ(bugsAfter, bugs);
    EXPECT_EQ(errorsAfter, errors);
    EXPECT_EQ(warningsAfter, warnings);

    // Cautions have no such switch.
    const unsigned long cautions = gulCaution_cnt;
    ERRLOG_LogNew(ERRLOG_SEVERITY_CAUTION, ERRLOG_MSG_AMI_TOO_FEW_NODES);
    EXPECT_EQ(log.Take(), "CAUTION - Too few nodes in branches or leaves\n");
    EXPECT_EQ(gulCaution_cnt, cautions + 1);
}

TEST(ErrorLog, UnknownNumberIsInformationWithMessageZero) {
    LogCapture log;
    unsigned long bugs = 0, errors = 0, warnings = 0;
    ERRLOG_GetCounts(&bugs, &errors, &warnings);
    const unsigned long cautions = gulCaution_cnt;
    ERRLOG_ErrorNew(1);
    EXPECT_EQ(log.Take(), "");  // information is not written in the old style

    gbOldStyleErrors = 0;
    ERRLOG_SuppressErrors(1);
    ERRLOG_ErrorNew(1);
    ERRLOG_BugNew(4911);
    EXPECT_EQ(log.Take(), "I0000 - Error code doesn't exist.\nI0000 - Error code doesn't exist.\n");
    unsigned long bugsAfter = 0, errorsAfter = 0, warningsAfter = 0;
    ERRLOG_GetCounts(&bugsAfter, &errorsAfter, &warningsAfter);
    EXPECT_EQ(bugsAfter + errorsAfter + warningsAfter, bugs + errors + warnings);
    EXPECT_EQ(gulCaution_cnt, cautions);
}

TEST(ErrorLog, TextsInTheWrapBandMoveToAnIndentedSecondLine) {
    struct Band {
        int severity;
        size_t from, to;
        const char* prefix;
    };
    const Band bands[] = {
        {ERRLOG_SEVERITY_ERROR, 72, 75, "ERROR"},
        {ERRLOG_SEVERITY_ERROR_LINE, 60, 75, "ERROR (line   12)"},
        {ERRLOG_SEVERITY_WARNING, 70, 75, "WARNING"},
        {ERRLOG_SEVERITY_WARNING_LINE, 58, 75, "WARNING (line   12)"},
        {ERRLOG_SEVERITY_CAUTION, 70, 75, "CAUTION"},
        {ERRLOG_SEVERITY_CAUTION_LINE, 58, 75, "CAUTION (line   12)"},
        {ERRLOG_SEVERITY_NOTE, 73, 75, "NOTE"},
        {ERRLOG_SEVERITY_NOTE_LINE, 61, 75, "NOTE (line   12)"},
    };
    LogCapture log;
    PARSE_SetLineNum(12);
    for (const Band& band : bands) {
        for (size_t length : {band.from - 1, band.from, band.to, band.to + 1}) {
            LogTextOfLength(band.severity, length);
            const std::string line = log.Take();
            const bool wrapped = length >= band.from && length <= band.to;
            const std::string separator = wrapped ? " -\n    " : " - ";
            EXPECT_EQ(line.substr(0, line.find("Unable")), band.prefix + separator)
                << "severity " << band.severity << ", length " << length;
            EXPECT_EQ(line.size(), std::string(band.prefix).size() + separator.size() + length + 1);
        }
    }
    // Bugs are never wrapped; the new style wraps after the number.
    LogTextOfLength(ERRLOG_SEVERITY_BUG, 73);
    EXPECT_EQ(log.Take().substr(0, 14), "PROGRAM BUG - ");
    gbOldStyleErrors = 0;
    LogTextOfLength(ERRLOG_SEVERITY_ERROR_LINE, 73);
    EXPECT_EQ(log.Take().substr(0, 29), "E1908 (line   12) -\n    Unabl");
}

TEST(ErrorLog, TableSearchFindsEveryRowWithinItsRealLength) {
    const int numbers[] = {0, 1906, 1907, 1908, 4619, 4620, 4621, 4634, 4635};
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(BSearchErrorLogTable(numbers[row]), row);
    }
    for (int absent : {-5, 1, 1905, 4622, 4636, 4911, 100000}) {
        EXPECT_EQ(BSearchErrorLogTable(absent), -1) << absent;
    }
    EXPECT_EQ(ERRLOG_GetFormat(9), nullptr);
    EXPECT_STREQ(ERRLOG_GetFormat(8), "Too few nodes in branches or leaves");
}

TEST(ErrorLog, OverlongTextsAreCutNotOverrun) {
    LogCapture log;
    const std::string word(5000, 'w');
    ERRLOG_BugNew(ERRLOG_MSG_STRING_ALLOC_FAILED, word.c_str(), 1);
    const std::string line = log.Take();
    EXPECT_EQ(line.size(), std::string("PROGRAM BUG - ").size() + 2207 + 1);
    EXPECT_EQ(line.back(), '\n');
}

}  // namespace
