#include "ports/survey_runner.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

struct SurveyRunner::Shared {
    Shared(RowReader reader, PortProbe portProbe, PortHolderLookup holderLookup, Wake wakeUp,
           unsigned width, std::chrono::milliseconds wait)
        : readRows(std::move(reader)),
          probe(portProbe),
          findHolders(std::move(holderLookup)),
          probesAtOnce(width),
          patience(wait),
          wake(std::move(wakeUp)) {}

    const RowReader readRows;
    const PortProbe probe;
    const PortHolderLookup findHolders;
    const unsigned probesAtOnce;
    const std::chrono::milliseconds patience;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Wake wake;  // cleared when the runner ends
    bool woken = false;
    bool inFlight = false;
    std::deque<std::string> queue;  // ports waiting for a prober
    std::set<std::string> pending;  // ports queued or being probed
    std::set<std::string> awaited;  // ports the survey in flight waits for
    std::set<std::string> busy;     // ports the survey in flight found busy
    unsigned probers = 0;           // threads probing or about to take a port
    unsigned probing = 0;           // of those, inside a probe: some may never come back
    News news;

    // The rest with the mutex held.
    void WakeOnce() {
        if (!woken && wake) {
            woken = true;
            wake();
        }
    }
    void Finish() {
        awaited.clear();
        inFlight = false;
        news.finished = true;
        changed.notify_all();
        WakeOnce();
    }
};

void SurveyRunner::StartProbers(const std::shared_ptr<Shared>& shared) {
    while (shared->probers < shared->probesAtOnce &&
           shared->probers - shared->probing < shared->queue.size()) {
        ++shared->probers;
        std::thread(ProbeQueued, shared).detach();
    }
}

void SurveyRunner::ProbeQueued(const std::shared_ptr<Shared>& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->queue.empty()) {
        const std::string port = std::move(shared->queue.front());
        shared->queue.pop_front();
        ++shared->probing;
        lock.unlock();
        const PortStatus status = shared->probe(port.c_str());
        lock.lock();
        --shared->probing;
        shared->pending.erase(port);
        shared->news.answers.emplace_back(port, status);
        if (shared->awaited.erase(port) != 0) {
            if (status == PortStatus::Busy) shared->busy.insert(port);
            // The survey's own thread finishes it.
            if (shared->awaited.empty()) shared->changed.notify_all();
        }
        shared->WakeOnce();
    }
    --shared->probers;
}

void SurveyRunner::ReadRows(const std::shared_ptr<Shared>& shared) {
    std::optional<PortRows> rows = shared->readRows();
    const PortRows surveyed = rows ? *rows : PortRows();
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (rows) {
        for (const PortRow& row : *rows) {
            if (shared->pending.insert(row.port).second) {
                shared->queue.push_back(row.port);
                shared->awaited.insert(row.port);
            }
        }
    }
    shared->news.listRead = true;
    shared->news.rows = std::move(rows);
    StartProbers(shared);
    shared->WakeOnce();
    // Only this thread finishes the survey: until it does, no other starts.
    shared->changed.wait_for(lock, shared->patience, [&] { return shared->awaited.empty(); });
    // Answered, found nothing to wait for, or waited long enough.
    PortRows busy;
    for (const PortRow& row : surveyed) {
        if (shared->busy.count(row.port) != 0) busy.push_back(row);
    }
    if (!busy.empty() && shared->findHolders) {
        lock.unlock();
        std::vector<PortHolders> holders = shared->findHolders(busy);
        lock.lock();
        holders.resize(busy.size());
        for (size_t row = 0; row < busy.size(); ++row) {
            shared->news.holders.emplace_back(busy[row].port, std::move(holders[row]));
        }
    }
    shared->Finish();
}

SurveyRunner::SurveyRunner(RowReader readRows, PortProbe probe, PortHolderLookup findHolders,
                           Wake wake, unsigned probesAtOnce, std::chrono::milliseconds patience)
    : m_shared(std::make_shared<Shared>(std::move(readRows), probe, std::move(findHolders),
                                        std::move(wake), probesAtOnce == 0 ? 1 : probesAtOnce,
                                        patience)) {}

SurveyRunner::~SurveyRunner() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->wake = nullptr;
}

bool SurveyRunner::Start() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->inFlight) return false;
    m_shared->inFlight = true;
    m_shared->busy.clear();
    std::thread(ReadRows, m_shared).detach();
    return true;
}

bool SurveyRunner::InFlight() const {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->inFlight;
}

SurveyRunner::News SurveyRunner::Take() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->woken = false;
    return std::exchange(m_shared->news, News{});
}

bool SurveyRunner::WaitFinished(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, timeout, [this] { return !m_shared->inFlight; });
}
