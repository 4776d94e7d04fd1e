#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// The one background job of the window (a scan). The busy flag stays set for as long as
// the job's thread lives, whatever Stop did, so nothing else reaches the engine or the
// tree under it; Stop only asks the job to end at its next folder or file.
class CWorkerThread {
public:
    // busy: the application's busy flag, taken by Start and released by Finish.
    explicit CWorkerThread(std::atomic<std::int32_t>& busy) : m_busy(busy) {}
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Runs job on a new thread; then announceEnd is called on that thread as its last act
    // and must only hand the end over (post it), never wait for the caller's thread.
    // False, and nothing started, when the busy flag is already taken.
    bool Start(std::function<void()> job, std::function<void()> announceEnd);

    // Called where the announced end arrives: joins the ended thread and frees the busy flag.
    void Finish();

    bool IsRunning() const { return m_thread.joinable(); }

    void RequestStop() { m_stopRequested = 1; }
    void ClearStopRequest() { m_stopRequested = 0; }
    bool StopRequested() const { return m_stopRequested.load() == 1; }
    // The flag itself, for jobs that poll it.
    const std::atomic<std::uint8_t>& StopFlag() const { return m_stopRequested; }

private:
    std::atomic<std::int32_t>& m_busy;
    std::atomic<std::uint8_t> m_stopRequested{0};
    std::thread m_thread;
};
