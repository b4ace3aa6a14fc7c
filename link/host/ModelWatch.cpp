#include "ModelWatch.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "CNumbers.h"

namespace linksim {

namespace {

// What a signal handler may read: plain characters written before the call
// starts, and an atomic flag.
char g_program[64] = "";
char g_model[192] = "";
const char* volatile g_entryPoint = "";
std::atomic<bool> g_inCall{false};

void WriteText(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

const char* SignalName(int number) {
    switch (number) {
        case SIGSEGV: return "segmentation fault";
        case SIGBUS: return "bus error";
        case SIGFPE: return "arithmetic fault";
        case SIGILL: return "illegal instruction";
        case SIGABRT: return "abort";
        default: return "signal";
    }
}

// One line, then out: nothing the model left behind can be trusted.
[[noreturn]] void ReportAndExit(const char* what, const char* detail) {
    WriteText(g_program);
    WriteText(": ");
    WriteText(g_model);
    WriteText(what);
    WriteText(g_entryPoint);
    WriteText(detail);
    WriteText("\n");
    _exit(1);
}

void OnCrash(int number) {
    if (g_inCall.load()) {
        char detail[64];
        std::snprintf(detail, sizeof detail, " (%s)", SignalName(number));
        ReportAndExit(" crashed in ", detail);
    }
    // Not a model's fault: the system's own handling (core, sanitizer report).
    signal(number, SIG_DFL);
    raise(number);
}

// Sleeps beside the model calls and ends the process when one overruns.
class Watchdog {
public:
    static Watchdog& Instance() {
        static Watchdog watchdog;
        return watchdog;
    }

    void SetLimit(double seconds) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_limit = seconds;
        if (m_limit > 0.0 && !m_thread.joinable()) m_thread = std::thread(&Watchdog::Watch, this);
        m_changed.notify_all();
    }

    void Begin() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_limit <= 0.0) return;
        ++m_call;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                             std::chrono::duration<double>(m_limit));
        m_running = true;
        m_changed.notify_all();
    }

    void End() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }

    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            m_changed.notify_all();
        }
        if (m_thread.joinable()) m_thread.join();
    }

private:
    void Watch() {
        UseCNumbersOnThisThread();
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopping) {
            if (!m_running) {
                m_changed.wait(lock);
                continue;
            }
            const unsigned long long call = m_call;
            if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout && m_running && call == m_call) {
                char detail[96];
                std::snprintf(detail, sizeof detail, " did not return within %g s (--model-timeout)", m_limit);
                ReportAndExit(" ", detail);
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    double m_limit = 0.0;
    bool m_running = false;
    bool m_stopping = false;
    unsigned long long m_call = 0;
    std::chrono::steady_clock::time_point m_deadline;
};

// A model that ends the process with exit() from inside its call would
// otherwise end it with whatever status it chose, the run's files unwritten
// and nothing said, while the host's other thread still runs.
void OnExitDuringCall() {
    if (g_inCall.load()) ReportAndExit(" ended the process (exit) in ", " instead of returning");
}

}  // namespace

void InstallCrashReport(const char* program) {
    std::snprintf(g_program, sizeof g_program, "%s", program);
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(number, &action, nullptr);
}

// Beyond eleven days a limit is none, and the deadline stays representable.
void SetModelTimeout(double seconds) { Watchdog::Instance().SetLimit(seconds > 1e6 ? 0.0 : seconds); }

ModelCall::ModelCall(const std::string& model, const char* entryPoint) {
    // Registered at the first call, so that it runs before what the run
    // built before it is torn down.
    static const bool exitWatched = std::atexit(OnExitDuringCall) == 0 && std::at_quick_exit(OnExitDuringCall) == 0;
    (void)exitWatched;
    std::snprintf(g_model, sizeof g_model, "%s", model.c_str());
    g_entryPoint = entryPoint;
    g_inCall.store(true);
    Watchdog::Instance().Begin();
}

ModelCall::~ModelCall() {
    Watchdog::Instance().End();
    g_inCall.store(false);
}

}  // namespace linksim
