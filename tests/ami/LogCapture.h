// Routes the message log into a temporary file for one test and restores
// the log's settings afterwards.
#ifndef TESTS_AMI_LOG_CAPTURE_H
#define TESTS_AMI_LOG_CAPTURE_H

#include "errlog.h"

#include <cstdio>
#include <string>

class LogCapture {
public:
    LogCapture() : m_file(std::tmpfile()) { ERRLOG_SetOutputFile(m_file); }
    ~LogCapture() {
        ERRLOG_SetOutputFile(nullptr);
        gbOldStyleErrors = 1;
        ERRLOG_SuppressBugs(0);
        ERRLOG_SuppressErrors(0);
        ERRLOG_SuppressWarns(0);
        PARSE_SetLineNum(0);
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything written since the last call.
    std::string Take() {
        std::string text;
        std::fflush(m_file);
        std::rewind(m_file);
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file)) {
            text += static_cast<char>(c);
        }
        std::fclose(m_file);
        m_file = std::tmpfile();
        ERRLOG_SetOutputFile(m_file);
        return text;
    }

private:
    std::FILE* m_file;
};

#endif
