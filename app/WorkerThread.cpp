#include "app/WorkerThread.h"

CWorkerThread::~CWorkerThread() {
    // The owner ends the process while a job runs only by ending it outright; an object
    // going away normally has let its job finish.
    if (m_thread.joinable()) {
        m_stopRequested = 1;
        m_thread.join();
    }
}

bool CWorkerThread::Start(std::function<void()> job, std::function<void()> announceEnd) {
    if (m_thread.joinable()) return false;
    std::int32_t idle = 0;
    if (!m_busy.compare_exchange_strong(idle, 1)) return false;
    m_thread = std::thread([job = std::move(job), announceEnd = std::move(announceEnd)] {
        job();
        announceEnd();
    });
    return true;
}

void CWorkerThread::Finish() {
    if (m_thread.joinable()) m_thread.join();
    m_busy = 0;
}
