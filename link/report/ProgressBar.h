// A progress bar on standard error for runs long enough to need one.
#ifndef LINK_PROGRESS_BAR_H
#define LINK_PROGRESS_BAR_H

#include <chrono>
#include <cstddef>
#include <cstdio>

namespace linksim {

class ProgressBar {
public:
    // Nothing is drawn when disabled, when the stream is no terminal, or
    // until the run has taken longer than the delay. unit names what is
    // counted.
    ProgressBar(std::FILE* stream, bool enabled, double delaySeconds = 1.5, const char* unit = "bits");
    ~ProgressBar() { Finish(); }
    void Update(size_t done, size_t total);
    // Clears the bar's line, if one was drawn.
    void Finish();

private:
    std::FILE* m_stream;
    bool m_enabled;
    double m_delay;
    const char* m_unit;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};

}  // namespace linksim

#endif
