#include "HostWorker.h"

#include <utility>

#include "CNumbers.h"

namespace linksim {

HostWorker::HostWorker(bool ownThread) {
    if (ownThread) {
        m_thread = std::thread(&HostWorker::Serve, this);
    }
}

HostWorker::~HostWorker() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void HostWorker::Start(std::function<void()> job) {
    if (!m_thread.joinable()) {
        job();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = std::move(job);
        m_busy = true;
    }
    m_changed.notify_all();
}

void HostWorker::Wait() {
    if (!m_thread.joinable()) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
}

void HostWorker::Serve() {
    UseCNumbersOnThisThread();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stopping; });
        if (m_stopping) {
            return;
        }
        std::function<void()> job = std::move(m_job);
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

}  // namespace linksim
