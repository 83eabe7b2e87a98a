#include "ports/engine/survey_runner.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

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

    std::mutex mutex;
    // Each waits on its own, so that a wake goes only where there is something to do: under
    // Wine every hand-over between threads costs a server call.
    std::condition_variable work;      // the primary: a read or ports to probe
    std::condition_variable watch;     // the watch: a survey to time
    std::condition_variable finished;  // WaitFinished
    Wake wake;                         // cleared when the runner ends
    bool woken = false;
    bool stopping = false;

    bool inFlight = false;
    bool readRequested = false;
    bool shownEarly = false;  // the survey in flight was shown before its last answer
    Clock::time_point started;
    std::deque<std::string> queue;  // ports waiting for a prober
    std::set<std::string> pending;  // ports queued or being probed
    std::set<std::string> awaited;  // ports the survey in flight waits for
    PortRows surveyed;              // the rows of the survey in flight
    std::set<std::string> busy;     // its ports found busy
    bool closing = false;           // its holders are being looked up
    unsigned probing = 0;           // threads inside a probe
    unsigned helpersStarting = 0;   // helpers made but not yet probing
    Clock::time_point lastProbeStart;
    // The primary reads and probes; one stuck in an open is replaced by a new generation.
    unsigned primary = 0;
    bool primaryProbing = false;
    Clock::time_point primaryProbeStart;
    bool watching = false;
    News news;

    // The rest with the mutex held.
    void WakeOnce() {
        if (!woken && wake) {
            woken = true;
            wake();
        }
    }
    // The survey in flight has its answers or has waited long enough: who holds its busy ports
    // is looked up, the mutex released meanwhile, and then it is finished.
    void Close(std::unique_lock<std::mutex>& lock) {
        if (closing || !inFlight) return;
        closing = true;
        awaited.clear();
        PortRows busyRows;
        for (const PortRow& row : surveyed) {
            if (busy.count(row.port) != 0) busyRows.push_back(row);
        }
        if (!busyRows.empty() && findHolders) {
            lock.unlock();
            std::vector<PortHolders> holders = findHolders(busyRows);
            lock.lock();
            holders.resize(busyRows.size());
            for (size_t row = 0; row < busyRows.size(); ++row) {
                news.holders.emplace_back(busyRows[row].port, std::move(holders[row]));
            }
        }
        Finish();
    }
    void Finish() {
        closing = false;
        awaited.clear();
        surveyed.clear();
        busy.clear();
        inFlight = false;
        news.finished = true;
        finished.notify_all();
        WakeOnce();
    }
    void QueueRows(std::unique_lock<std::mutex>& lock, std::optional<PortRows> rows) {
        if (rows) {
            surveyed = *rows;
            for (const PortRow& row : *rows) {
                if (pending.insert(row.port).second) {
                    queue.push_back(row.port);
                    awaited.insert(row.port);
                }
            }
        }
        news.listRead = true;
        news.rows = std::move(rows);
        if (awaited.empty()) {
            Close(lock);
        } else if (shownEarly) {
            WakeOnce();
        }
    }
    // Takes one port from the queue and probes it, the mutex released meanwhile. `generation`
    // is the primary's, 0 for a helper.
    void ProbeOne(std::unique_lock<std::mutex>& lock, unsigned generation) {
        const bool isPrimary = generation != 0 && generation == primary;
        const std::string port = std::move(queue.front());
        queue.pop_front();
        ++probing;
        lastProbeStart = Clock::now();
        if (isPrimary) {
            primaryProbing = true;
            primaryProbeStart = lastProbeStart;
        }
        lock.unlock();
        const PortStatus status = probe(port.c_str());
        lock.lock();
        --probing;
        // A primary replaced while it was stuck leaves its successor's state alone.
        if (isPrimary && generation == primary) primaryProbing = false;
        pending.erase(port);
        news.answers.emplace_back(port, status);
        if (awaited.erase(port) != 0) {
            if (status == PortStatus::Busy) busy.insert(port);
            if (awaited.empty()) {
                Close(lock);
            } else if (shownEarly) {
                WakeOnce();
            }
        } else {
            // A port an earlier survey gave up waiting for: its row waits for this.
            WakeOnce();
        }
    }
};

namespace {

void RunPrimary(const std::shared_ptr<SurveyRunner::Shared>& shared, unsigned generation) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->stopping && shared->primary == generation) {
        if (shared->readRequested) {
            shared->readRequested = false;
            lock.unlock();
            std::optional<PortRows> rows = shared->readRows();
            lock.lock();
            shared->QueueRows(lock, std::move(rows));
        } else if (!shared->queue.empty()) {
            shared->ProbeOne(lock, generation);
        } else {
            shared->work.wait(lock);
        }
    }
}

void RunHelper(const std::shared_ptr<SurveyRunner::Shared>& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    --shared->helpersStarting;
    while (!shared->queue.empty()) shared->ProbeOne(lock, 0);
}

// With the mutex held.
void StartPrimary(const std::shared_ptr<SurveyRunner::Shared>& shared) {
    std::thread(RunPrimary, shared, ++shared->primary).detach();
}

// Keeps time for the survey in flight: gives up waiting after the patience, shows a slow
// survey early, and brings helpers when opens are slow or the primary is stuck in one.
void RunWatch(const std::shared_ptr<SurveyRunner::Shared>& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->stopping) {
        if (!shared->inFlight || shared->closing) {
            shared->watch.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (now >= shared->started + shared->patience) {
            shared->Close(lock);
            continue;
        }
        // Nobody says when ports are queued or a probe begins: a hand-over each would cost
        // more than looking now and then while a survey is in flight.
        Clock::time_point next =
            std::min(shared->started + shared->patience, now + SurveyRunner::kHelpAfter);
        if (!shared->shownEarly) {
            const Clock::time_point showAt = shared->started + SurveyRunner::kShowAfter;
            if (now >= showAt) {
                shared->shownEarly = true;
                shared->WakeOnce();
            } else {
                next = std::min(next, showAt);
            }
        }
        if (shared->readRequested && shared->primaryProbing) {
            const Clock::time_point stuckAt = shared->primaryProbeStart + SurveyRunner::kHelpAfter;
            if (now >= stuckAt) {
                shared->primaryProbing = false;
                StartPrimary(shared);
            } else {
                next = std::min(next, stuckAt);
            }
        }
        const unsigned busy = shared->probing + shared->helpersStarting;
        if (!shared->queue.empty() && busy < shared->probesAtOnce) {
            const Clock::time_point slowAt = shared->lastProbeStart + SurveyRunner::kHelpAfter;
            if (shared->probing > 0 && now >= slowAt) {
                const size_t wanted =
                    std::min<size_t>(shared->queue.size(), shared->probesAtOnce - busy);
                for (size_t helper = 0; helper < wanted; ++helper) {
                    ++shared->helpersStarting;
                    std::thread(RunHelper, shared).detach();
                }
            } else if (slowAt > now) {
                next = std::min(next, slowAt);
            }
        }
        shared->watch.wait_until(lock, next);
    }
}

}  // namespace

SurveyRunner::SurveyRunner(RowReader readRows, PortProbe probe, PortHolderLookup findHolders,
                           Wake wake, unsigned probesAtOnce, std::chrono::milliseconds patience)
    : m_shared(std::make_shared<Shared>(std::move(readRows), probe, std::move(findHolders),
                                        std::move(wake), probesAtOnce == 0 ? 1 : probesAtOnce,
                                        patience)) {}

SurveyRunner::~SurveyRunner() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->wake = nullptr;
    m_shared->stopping = true;
    m_shared->work.notify_all();
    m_shared->watch.notify_all();
}

bool SurveyRunner::Start() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_shared->inFlight) return false;
    m_shared->inFlight = true;
    m_shared->readRequested = true;
    m_shared->shownEarly = false;
    m_shared->started = Clock::now();
    if (!m_shared->watching) {
        m_shared->watching = true;
        std::thread(RunWatch, m_shared).detach();
    }
    if (m_shared->primary == 0) StartPrimary(m_shared);
    m_shared->work.notify_one();
    m_shared->watch.notify_one();
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
    return m_shared->finished.wait_for(lock, timeout, [this] { return !m_shared->inFlight; });
}
