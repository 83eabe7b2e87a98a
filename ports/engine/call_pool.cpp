#include "ports/engine/call_pool.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace {

void StartStdThread(std::function<void()> run) { std::thread(std::move(run)).detach(); }

}  // namespace

// Each task gets a thread of its own, which ends with it: a thread kept idle for the next task
// would be lost in a child that the process forks, while the pool still counted on it.
struct CallPool::State {
    State(unsigned most, ThreadStart start)
        : mostBusy(most == 0 ? 1 : most), startThread(start ? start : StartStdThread) {}

    const unsigned mostBusy;
    const ThreadStart startThread;

    // Guards the count, and the progress of every RunInOrder.
    std::mutex mutex;
    unsigned busy = 0;

    static void Serve(const std::shared_ptr<State>& self, std::function<void()>& task) {
        try {
            task();
        } catch (...) {
            // A task that throws has ended, and so has its thread; the program goes on.
        }
        // What it held is let go here, on this thread, even when it came back late.
        task = nullptr;
        const std::lock_guard<std::mutex> lock(self->mutex);
        --self->busy;
    }

    // With the mutex held.
    bool Post(const std::shared_ptr<State>& self, std::function<void()> task) {
        if (busy >= mostBusy) return false;
        try {
            startThread([self, task = std::move(task)]() mutable { Serve(self, task); });
        } catch (...) {
            return false;
        }
        ++busy;
        return true;
    }
};

CallPool& CallPool::Process() {
    static CallPool* const pool = new CallPool();
    return *pool;
}

CallPool::CallPool(unsigned mostBusy, ThreadStart startThread)
    : m_state(std::make_shared<State>(mostBusy, startThread)) {}

CallPool::~CallPool() = default;

bool CallPool::Post(std::function<void()> task) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->Post(m_state, std::move(task));
}

CallPool::Result CallPool::RunInOrder(std::vector<std::function<void()>> calls,
                                      std::chrono::milliseconds patience) {
    struct Progress {
        std::condition_variable moved;
        size_t returned = 0;
        bool givenUp = false;
    };
    const auto progress = std::make_shared<Progress>();
    const size_t count = calls.size();
    const std::shared_ptr<State> state = m_state;
    std::unique_lock<std::mutex> lock(state->mutex);
    Result result;
    const bool posted = state->Post(state, [state, progress, calls = std::move(calls)] {
        for (const std::function<void()>& call : calls) {
            {
                const std::lock_guard<std::mutex> relock(state->mutex);
                if (progress->givenUp) return;
            }
            try {
                call();
            } catch (...) {
                // Thrown is returned: the call is over.
            }
            const std::lock_guard<std::mutex> relock(state->mutex);
            ++progress->returned;
            progress->moved.notify_all();
        }
    });
    if (!posted) return result;
    for (size_t seen = 0; seen < count; seen = progress->returned) {
        if (!progress->moved.wait_for(lock, patience, [&] { return progress->returned != seen; })) {
            break;
        }
    }
    result.returned = progress->returned;
    result.outcome = result.returned == count ? Outcome::Returned : Outcome::GaveUp;
    progress->givenUp = result.outcome == Outcome::GaveUp;
    return result;
}

CallPool::Outcome CallPool::Run(std::function<void()> call, std::chrono::milliseconds patience) {
    return RunInOrder({std::move(call)}, patience).outcome;
}

unsigned CallPool::Busy() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->busy;
}
