// A second thread for the link simulator's own work, so that it runs while
// the receiver's AMI_GetWave runs on the calling thread. One job at a time;
// without a thread the same jobs run on the caller, at Start, which gives
// the same results in the same order.
#ifndef LINK_HOST_WORKER_H
#define LINK_HOST_WORKER_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace linksim {

class HostWorker {
public:
    explicit HostWorker(bool ownThread);
    ~HostWorker();
    HostWorker(const HostWorker&) = delete;
    HostWorker& operator=(const HostWorker&) = delete;

    // Hands over the next job; the previous one must have been waited for.
    void Start(std::function<void()> job);
    // Returns once the job handed over last has finished.
    void Wait();
    bool OwnThread() const { return m_thread.joinable(); }

private:
    void Serve();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_job;
    bool m_busy = false;
    bool m_stopping = false;
};

}  // namespace linksim

#endif
