#include "ProgressBar.h"

#include <unistd.h>

#include <string>

namespace linksim {

namespace {
const int kBarWidth = 40;
const double kRedrawSeconds = 0.1;
}  // namespace

ProgressBar::ProgressBar(std::FILE* stream, bool enabled, double delaySeconds, const char* unit)
    : m_stream(stream),
      m_enabled(enabled && isatty(fileno(stream))),
      m_delay(delaySeconds),
      m_unit(unit),
      m_start(std::chrono::steady_clock::now()),
      m_lastDraw(m_start) {}

void ProgressBar::Update(size_t done, size_t total) {
    if (!m_enabled || total == 0) return;
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    if (elapsed < m_delay || (m_drawn && std::chrono::duration<double>(now - m_lastDraw).count() < kRedrawSeconds &&
                              done < total)) {
        return;
    }
    m_lastDraw = now;
    m_drawn = true;
    const double share = double(done) / double(total);
    const int filled = int(share * kBarWidth);
    const double remaining = share > 0.0 ? elapsed * (1.0 - share) / share : 0.0;
    std::fprintf(m_stream, "\r[%s%s] %3d%%  %zu/%zu %s  %.0f s left ", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kBarWidth - filled), ' ').c_str(), int(share * 100.0), done, total, m_unit, remaining);
    std::fflush(m_stream);
}

void ProgressBar::Finish() {
    if (m_drawn) {
        std::fprintf(m_stream, "\r%*s\r", kBarWidth + 50, "");
        std::fflush(m_stream);
        m_drawn = false;
    }
}

}  // namespace linksim
