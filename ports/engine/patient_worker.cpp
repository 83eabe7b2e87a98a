#include "ports/engine/patient_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>

struct PatientWorker::Mailbox {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> calls;  // waiting to be made, in order
    size_t returned = 0;                      // calls that came back
    bool inCall = false;
    bool closed = false;  // no more calls: the worker ended, or gave this thread up
};

void PatientWorker::Serve(const std::shared_ptr<Mailbox>& mailbox) {
    std::unique_lock<std::mutex> lock(mailbox->mutex);
    for (;;) {
        mailbox->changed.wait(lock, [&] { return mailbox->closed || !mailbox->calls.empty(); });
        if (mailbox->closed) return;
        std::function<void()> call = std::move(mailbox->calls.front());
        mailbox->calls.pop_front();
        mailbox->inCall = true;
        lock.unlock();
        call();
        // What the call holds is let go here, on this thread, even when it came back late.
        call = nullptr;
        lock.lock();
        mailbox->inCall = false;
        ++mailbox->returned;
        mailbox->changed.notify_all();
    }
}

PatientWorker::~PatientWorker() {
    if (!m_mailbox) return;
    {
        const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
        m_mailbox->closed = true;
    }
    m_mailbox->changed.notify_all();
    m_thread.join();
}

std::vector<bool> PatientWorker::RunAll(const std::vector<std::function<void()>>& calls) {
    std::vector<bool> inTime(calls.size(), false);
    size_t first = 0;  // the first call not yet answered for
    while (first < calls.size()) {
        if (!m_mailbox) {
            m_mailbox = std::make_shared<Mailbox>();
            m_thread = std::thread(Serve, m_mailbox);
        }
        Mailbox& mailbox = *m_mailbox;
        std::unique_lock<std::mutex> lock(mailbox.mutex);
        mailbox.returned = 0;
        mailbox.calls.assign(calls.begin() + static_cast<std::ptrdiff_t>(first), calls.end());
        mailbox.changed.notify_all();
        const size_t batch = calls.size() - first;
        // Each call gets the whole patience, counted from the return of the one before.
        for (size_t seen = 0; seen < batch; seen = mailbox.returned) {
            const bool moved = mailbox.changed.wait_for(lock, m_patience,
                                                        [&] { return mailbox.returned != seen; });
            if (!moved && mailbox.inCall) break;
        }
        const size_t returned = mailbox.returned;
        for (size_t call = 0; call < returned; ++call) inTime[first + call] = true;
        if (returned == batch) break;
        // The call after the last that returned is stuck: its thread is left to it.
        mailbox.closed = true;
        mailbox.calls.clear();
        lock.unlock();
        m_thread.detach();
        m_mailbox.reset();
        ++m_givenUp;
        first += returned + 1;
    }
    return inTime;
}
