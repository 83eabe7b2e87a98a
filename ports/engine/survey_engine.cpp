#include "ports/engine/survey_engine.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "ports/engine/port_facts_cache.h"
#include "ports/engine/port_probe.h"

namespace {

using Clock = std::chrono::steady_clock;

// One port to probe, as one device of one survey's reading knows it: after a device change,
// or for another device under the same name, an earlier probe's answer serves no row.
struct Job {
    std::string port;
    std::string device;
    unsigned epoch = 0;
    size_t row = 0;  // where its row was when read: where to look first
};

bool SameDevice(const PortRow& a, const std::string& port, const std::string& device) {
    return a.port == port && a.device == device;
}

// The row of this port and device, looked for from `hint` on: rows come in the same order
// survey after survey, so a walk that hints each row's neighbour stays linear. A device
// name is listed once, so the first match is the only one.
std::optional<size_t> FindRow(const PortRows& rows, const std::string& port,
                              const std::string& device, size_t hint) {
    for (size_t step = 0; step < rows.size(); ++step) {
        const size_t at = (hint + step) % rows.size();
        if (SameDevice(rows[at], port, device)) return at;
    }
    return std::nullopt;
}

bool SameJob(const Job& a, const Job& b) {
    return a.epoch == b.epoch && a.port == b.port && a.device == b.device;
}

// A stage that throws fails its rows instead of ending the program.
void RunHolderStage(const SurveyStages& stages, PortRows& rows) {
    if (!stages.findHolders) return;
    try {
        stages.findHolders(rows);
    } catch (...) {
        for (PortRow& row : rows) {
            row.holders.clear();
            row.holdersFailed = row.status == PortStatus::Busy;
        }
    }
}

}  // namespace

std::function<void(PortRows& rows)> LookUpBusyHolders(PortHolderLookup lookup) {
    return [lookup](PortRows& rows) {
        PortRows busy;
        for (PortRow& row : rows) {
            row.holders.clear();
            row.holdersFailed = false;
            if (row.status == PortStatus::Busy) busy.push_back(row);
        }
        if (busy.empty()) return;
        std::vector<std::optional<PortHolders>> found =
            lookup ? lookup(busy) : std::vector<std::optional<PortHolders>>();
        size_t next = 0;
        for (PortRow& row : rows) {
            if (row.status != PortStatus::Busy) continue;
            if (next < found.size() && found[next]) {
                row.holders = std::move(*found[next]);
            } else {
                row.holdersFailed = true;
            }
            ++next;
        }
    };
}

std::function<std::optional<PortRows>(bool forget)> ReadRowsWithFacts(
    std::function<std::optional<PortRows>()> readList, PortFactsWalk walkFacts) {
    // Only the primary reads, so the cache has one user at a time.
    const auto cache = std::make_shared<PortFactsCache>(std::move(walkFacts));
    return [readList = std::move(readList), cache](bool forget) {
        std::optional<PortRows> rows = readList();
        if (!rows) return rows;
        if (forget) cache->Forget();
        cache->Fill(*rows);
        return rows;
    };
}

struct SurveyEngine::Shared {
    Shared(SurveyStages surveyStages, Wake wakeUp, Options chosen)
        : stages(std::move(surveyStages)),
          probesAtOnce(std::max(1u, chosen.probesAtOnce)),
          patience(chosen.patience),
          pool(chosen.pool ? *chosen.pool : CallPool::Process()),
          wake(std::move(wakeUp)) {}

    const SurveyStages stages;
    const unsigned probesAtOnce;
    const std::chrono::milliseconds patience;
    CallPool& pool;

    std::mutex mutex;
    // Each waits on its own, so that a wake goes only where there is something to do: under
    // Wine every hand-over between threads costs a server call.
    std::condition_variable work;      // the primary: a read, or a port to probe
    std::condition_variable watch;     // the watch: a survey to time
    std::condition_variable finished;  // WaitFinished
    Wake wake;                         // cleared when the engine ends
    bool woken = false;
    bool stopping = false;
    unsigned epoch = 0;   // counts device changes
    bool forget = false;  // the next read may take no facts from a cache

    // The survey in flight.
    unsigned survey = 0;
    bool inFlight = false;
    bool readRequested = false;
    bool shownEarly = false;  // it woke its user before its end
    Clock::time_point started;
    bool closing = false;  // its holders are being looked up
    Clock::time_point closeStarted;
    std::vector<size_t> closingBusy;  // the rows of the busy ports that lookup was asked about

    // The latest rows read, and the probes that serve them.
    std::optional<PortRows> rows;
    size_t pendingRows = 0;
    unsigned rowsSurvey = 0;
    unsigned rowsEpoch = 0;
    bool rowsChanged = false;
    std::deque<Job> queue;     // waiting for a prober
    std::vector<Job> probing;  // inside a probe, answered or not in time
    unsigned helpersStarting = 0;
    Clock::time_point lastProbeStart;
    // The primary reads and probes; one stuck in an open is replaced by a new generation.
    unsigned primary = 0;
    bool primaryProbing = false;
    Clock::time_point primaryProbeStart;
    bool watching = false;

    // The rest with the mutex held.
    bool Start(std::function<void()> run) { return pool.Post(std::move(run)); }
    void WakeOnce() {
        if (!woken && wake) woken = wake();
    }
    void Changed() {
        rowsChanged = true;
        if (!inFlight || shownEarly) WakeOnce();
    }
    bool SurveyHasRows() const { return rowsSurvey == survey && rows; }
    bool AnyPending() const { return pendingRows != 0; }
    void Finish() {
        closing = false;
        inFlight = false;
        finished.notify_all();
        WakeOnce();
    }
    // The survey in flight has its answers, or has waited long enough: the holders of its
    // answered rows are looked up, here or on a thread of their own, and then it is finished.
    void Close(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Shared>& self, bool here) {
        if (closing || !inFlight) return;
        if (!SurveyHasRows() || !stages.findHolders) {
            Finish();
            return;
        }
        closing = true;
        closeStarted = Clock::now();
        auto answered = std::make_shared<PortRows>();
        closingBusy.clear();
        for (size_t at = 0; at < rows->size(); ++at) {
            const PortRow& row = (*rows)[at];
            if (row.pending) continue;
            answered->push_back(row);
            if (row.status == PortStatus::Busy) closingBusy.push_back(at);
        }
        const unsigned closed = survey;
        if (here) {
            lock.unlock();
            RunHolderStage(stages, *answered);
            lock.lock();
            TakeHolders(closed, *answered, true);
            return;
        }
        if (!Start([self, closed, answered] {
                RunHolderStage(self->stages, *answered);
                const std::lock_guard<std::mutex> relock(self->mutex);
                self->TakeHolders(closed, *answered, true);
            })) {
            GiveUpHolders();
        }
    }
    // A lookup's rows, into the rows it was made for when they are still shown; `closes`: the
    // lookup of the survey's end, not of a late answer.
    void TakeHolders(unsigned forSurvey, const PortRows& looked, bool closes) {
        if (rowsSurvey == forSurvey && rows) {
            size_t hint = 0;
            for (const PortRow& row : looked) {
                const std::optional<size_t> at = FindRow(*rows, row.port, row.device, hint);
                if (!at) continue;
                hint = *at + 1;
                PortRow& shown = (*rows)[*at];
                if (shown.pending) continue;
                shown.status = row.status;
                shown.reason = row.reason;
                shown.reasonText = row.reasonText;
                shown.holders = row.holders;
                shown.holdersFailed = row.holdersFailed;
            }
            rowsChanged = true;
        }
        if (closes && closing && forSurvey == survey) {
            Finish();
        } else if (rowsSurvey == forSurvey) {
            WakeOnce();
        }
    }
    // The lookup outlasted its patience: the holders of the busy ports it was asked about could
    // not be looked up. Those of a late answer, looked up on their own meanwhile, stay.
    void GiveUpHolders() {
        for (const size_t at : closingBusy) {
            (*rows)[at].holders.clear();
            (*rows)[at].holdersFailed = true;
        }
        rowsChanged = true;
        Finish();
    }
    void QueueRows(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Shared>& self,
                   unsigned forSurvey, std::optional<PortRows> read) {
        // A survey that gave up before its list came has ended: the rows serve none.
        if (forSurvey != survey || !inFlight || closing) return;
        if (!read) {
            Finish();
            return;
        }
        // Jobs of this reading never meet each other: a device is listed once.
        const size_t queuedBefore = queue.size();
        for (size_t at = 0; at < read->size(); ++at) {
            PortRow& row = (*read)[at];
            row.pending = true;
            // A busy port's holders stay until this survey's own come.
            if (rows) {
                if (const std::optional<size_t> shown = FindRow(*rows, row.port, row.device, at)) {
                    row.holders = (*rows)[*shown].holders;
                    row.holdersFailed = (*rows)[*shown].holdersFailed;
                }
            }
            Job job{row.port, row.device, epoch, at};
            const auto same = [&job](const Job& other) { return SameJob(job, other); };
            const auto queuedEarlier = queue.begin() + static_cast<std::ptrdiff_t>(queuedBefore);
            if (std::none_of(queue.begin(), queuedEarlier, same) &&
                std::none_of(probing.begin(), probing.end(), same)) {
                queue.push_back(std::move(job));
            }
        }
        rows = std::move(read);
        pendingRows = rows->size();
        rowsSurvey = forSurvey;
        rowsEpoch = epoch;
        rowsChanged = true;
        if (!AnyPending()) {
            Close(lock, self, true);
            return;
        }
        Changed();
    }
    // No thread to be had: the survey runs here, on the user's thread. The list is read and
    // the stages that cannot hang are run; a probe that may hang is not made.
    void SurveyHere(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Shared>& self) {
        readRequested = false;
        const unsigned forSurvey = survey;
        const bool forgetNow = std::exchange(forget, false);
        lock.unlock();
        std::optional<PortRows> read;
        try {
            read = stages.readRows(forgetNow);
        } catch (...) {
            read.reset();
        }
        if (read) {
            for (PortRow& row : *read) {
                ProbeResult result(PortStatus::Unknown, PortReason::NoAnswer);
                if (!stages.probeMayHang) result = ProbeHere(row.port);
                row.status = result.status;
                row.reason = result.reason;
            }
        }
        lock.lock();
        if (!read) {
            Finish();
            return;
        }
        rows = std::move(read);
        pendingRows = 0;
        rowsSurvey = forSurvey;
        rowsEpoch = epoch;
        rowsChanged = true;
        Close(lock, self, true);
    }
    // A probe that throws has failed its port, not the program.
    ProbeResult ProbeHere(const std::string& port) const {
        try {
            return stages.probe(port.c_str());
        } catch (...) {
            return ProbeResult(PortStatus::Unknown, PortReason::OpenFailed);
        }
    }
    // Takes one port from the queue and probes it, the mutex released meanwhile. `generation`
    // is the primary's, 0 for a helper.
    void ProbeOne(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Shared>& self,
                  unsigned generation) {
        const bool isPrimary = generation != 0 && generation == primary;
        Job job = std::move(queue.front());
        queue.pop_front();
        probing.push_back(job);
        lastProbeStart = Clock::now();
        if (isPrimary) {
            primaryProbing = true;
            primaryProbeStart = lastProbeStart;
        }
        lock.unlock();
        const ProbeResult result = ProbeHere(job.port);
        lock.lock();
        // A primary replaced while it was stuck leaves its successor's state alone.
        if (isPrimary && generation == primary) primaryProbing = false;
        const auto mine = std::find_if(probing.begin(), probing.end(),
                                       [&job](const Job& other) { return SameJob(job, other); });
        if (mine != probing.end()) probing.erase(mine);
        if (!queue.empty()) work.notify_one();
        if (stopping) return;
        Answer(lock, self, job, result);
    }
    void Answer(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Shared>& self,
                const Job& job, const ProbeResult& result) {
        if (!rows || job.epoch != rowsEpoch) return;
        const std::optional<size_t> at = FindRow(*rows, job.port, job.device, job.row);
        if (!at || !(*rows)[*at].pending) return;
        PortRow& row = (*rows)[*at];
        row.status = result.status;
        row.reason = result.reason;
        row.pending = false;
        // The holders kept from an earlier survey go with a port that is no longer busy.
        if (row.status != PortStatus::Busy) {
            row.holders.clear();
            row.holdersFailed = false;
        }
        --pendingRows;
        if (rowsSurvey == survey && inFlight && !closing) {
            if (!AnyPending()) {
                Close(lock, self, true);
            } else {
                Changed();
            }
            return;
        }
        // A late answer: its own holders, then its user is told.
        const unsigned forSurvey = rowsSurvey;
        if (stages.findHolders && result.status == PortStatus::Busy) {
            PortRows answered(1, row);
            lock.unlock();
            RunHolderStage(stages, answered);
            lock.lock();
            if (stopping) return;
            TakeHolders(forSurvey, answered, false);
            return;
        }
        rowsChanged = true;
        WakeOnce();
    }
};

namespace {

using SharedState = std::shared_ptr<SurveyEngine::Shared>;

void RunPrimary(const SharedState& shared, unsigned generation) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->stopping && shared->primary == generation) {
        if (shared->readRequested) {
            shared->readRequested = false;
            const unsigned survey = shared->survey;
            const bool forget = std::exchange(shared->forget, false);
            lock.unlock();
            std::optional<PortRows> rows;
            try {
                rows = shared->stages.readRows(forget);
            } catch (...) {
                rows.reset();
            }
            lock.lock();
            shared->QueueRows(lock, shared, survey, std::move(rows));
        } else if (!shared->queue.empty() && shared->probing.size() < shared->probesAtOnce) {
            shared->ProbeOne(lock, shared, generation);
        } else {
            shared->work.wait(lock);
        }
    }
}

void RunHelper(const SharedState& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    --shared->helpersStarting;
    while (!shared->stopping && !shared->queue.empty() &&
           shared->probing.size() < shared->probesAtOnce) {
        shared->ProbeOne(lock, shared, 0);
    }
}

// With the mutex held.
bool StartPrimary(const SharedState& shared) {
    const unsigned generation = shared->primary + 1;
    if (!shared->Start([shared, generation] { RunPrimary(shared, generation); })) {
        return false;
    }
    shared->primary = generation;
    return true;
}

// Keeps time for the survey in flight. Nobody says when a probe begins: a hand-over each would
// cost more than looking now and then while a survey is in flight.
void RunWatch(const SharedState& shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->stopping) {
        if (!shared->inFlight) {
            shared->watch.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (shared->closing) {
            const Clock::time_point giveUp = shared->closeStarted + shared->patience;
            if (now >= giveUp) {
                shared->GiveUpHolders();
            } else {
                shared->watch.wait_until(lock, giveUp);
            }
            continue;
        }
        const Clock::time_point end = shared->started + shared->patience;
        if (now >= end) {
            shared->Close(lock, shared, false);
            continue;
        }
        Clock::time_point next = std::min(end, now + SurveyEngine::kHelpAfter);
        if (!shared->shownEarly) {
            const Clock::time_point showAt = shared->started + SurveyEngine::kShowAfter;
            if (now >= showAt) {
                shared->shownEarly = true;
                if (shared->rowsChanged) shared->WakeOnce();
            } else {
                next = std::min(next, showAt);
            }
        }
        if (shared->readRequested && shared->primaryProbing) {
            const Clock::time_point stuckAt = shared->primaryProbeStart + SurveyEngine::kHelpAfter;
            if (now >= stuckAt) {
                if (StartPrimary(shared)) shared->primaryProbing = false;
            } else {
                next = std::min(next, stuckAt);
            }
        }
        const size_t inside = shared->probing.size() + shared->helpersStarting;
        if (!shared->queue.empty() && inside < shared->probesAtOnce) {
            const Clock::time_point slowAt = shared->lastProbeStart + SurveyEngine::kHelpAfter;
            if (!shared->probing.empty() && now >= slowAt) {
                const size_t wanted =
                    std::min<size_t>(shared->queue.size(), shared->probesAtOnce - inside);
                for (size_t helper = 0; helper < wanted; ++helper) {
                    if (!shared->Start([shared] { RunHelper(shared); })) break;
                    ++shared->helpersStarting;
                }
            } else if (slowAt > now) {
                next = std::min(next, slowAt);
            }
        }
        shared->watch.wait_until(lock, next);
    }
}

}  // namespace

SurveyEngine::SurveyEngine(SurveyStages stages, Wake wake)
    : SurveyEngine(std::move(stages), std::move(wake), Options()) {}

SurveyEngine::SurveyEngine(SurveyStages stages, Wake wake, Options options)
    : m_shared(std::make_shared<Shared>(std::move(stages), std::move(wake), options)) {}

SurveyEngine::~SurveyEngine() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->wake = nullptr;
    m_shared->stopping = true;
    m_shared->queue.clear();
    m_shared->work.notify_all();
    m_shared->watch.notify_all();
}

bool SurveyEngine::Start() {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    Shared& shared = *m_shared;
    if (shared.inFlight) return false;
    if (!shared.watching) shared.watching = shared.Start([s = m_shared] { RunWatch(s); });
    const bool threads = shared.watching && (shared.primary != 0 || StartPrimary(m_shared));
    ++shared.survey;
    shared.inFlight = true;
    shared.shownEarly = false;
    shared.started = Clock::now();
    if (!threads) {
        shared.SurveyHere(lock, m_shared);
        return true;
    }
    shared.readRequested = true;
    shared.work.notify_one();
    shared.watch.notify_one();
    return true;
}

bool SurveyEngine::InFlight() const {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->inFlight;
}

void SurveyEngine::Forget() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    ++m_shared->epoch;
    m_shared->forget = true;
}

SurveyEngine::News SurveyEngine::Take() {
    const std::lock_guard<std::mutex> lock(m_shared->mutex);
    Shared& shared = *m_shared;
    shared.woken = false;
    News news;
    if (std::exchange(shared.rowsChanged, false)) news.rows = shared.rows;
    news.rowsSurvey = shared.rowsSurvey;
    news.survey = shared.survey;
    news.finished = !shared.inFlight;
    return news;
}

bool SurveyEngine::WaitFinished(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->finished.wait_for(lock, timeout, [this] { return !m_shared->inFlight; });
}

std::optional<PortRows> SurveyWithin(SurveyEngine& engine, std::chrono::milliseconds deadline) {
    const Clock::time_point end = Clock::now() + deadline;
    const auto left = [&end] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(end - Clock::now(), Clock::duration::zero()));
    };
    // One still in flight from an earlier call is waited for, within this call's deadline.
    while (!engine.Start()) {
        if (left().count() == 0) return std::nullopt;
        engine.WaitFinished(left());
    }
    const bool finished = engine.WaitFinished(left());
    SurveyEngine::News news = engine.Take();
    if (news.rowsSurvey != news.survey || !news.rows) return std::nullopt;
    for (PortRow& row : *news.rows) {
        if (row.pending) {
            row.pending = false;
            row.status = PortStatus::Unknown;
            row.reason = PortReason::NoAnswer;
        }
        // Holders still being looked up, or kept from an earlier survey, are not this one's.
        if (!finished && row.status == PortStatus::Busy) {
            row.holders.clear();
            row.holdersFailed = true;
        }
    }
    return news.rows;
}
