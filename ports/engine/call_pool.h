// The one place where calls that may never return are made: an open of a port, a name query of
// another process's handle, a read in /proc, a lock file. A pool of threads makes them; a
// caller waits for a call only so long and never again, and the thread stuck inside it stays
// busy until the call comes back, if ever. The pool bounds its busy threads, the stuck ones
// included, for the whole process: at the bound, or when the system gives no thread, a call is
// refused at once, so that nothing waits for ever or ends because a thread could not be made.
//
// Whatever a call touches must therefore be its own (captured by value or shared), never the
// caller's. A call that throws counts as returned.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class CallPool {
public:
    // Starts `run` on a new thread, detached, as std::thread does: it may throw when no
    // thread can be made.
    using ThreadStart = void (*)(std::function<void()> run);

    // More than one engine's threads and probes, and more than any lookup needs; what passes
    // it is stuck calls piling up.
    static constexpr unsigned kMostBusy = 64;

    // The process's pool. It is never destroyed: its threads may outlive everything else.
    static CallPool& Process();

    explicit CallPool(unsigned mostBusy = kMostBusy, ThreadStart startThread = nullptr);
    // Never waits for a busy thread.
    ~CallPool();
    CallPool(const CallPool&) = delete;
    CallPool& operator=(const CallPool&) = delete;

    // Runs `task` on a thread of the pool, not waited for; false, and the task dropped, at the
    // bound or when no thread can be made.
    bool Post(std::function<void()> task);

    enum class Outcome { Returned, GaveUp, NoThread };
    struct Result {
        Outcome outcome = Outcome::NoThread;
        size_t returned = 0;  // the calls that came back in time, from the first
    };
    // Makes the calls in order on one thread of the pool, each waited for at most `patience`
    // counted from the return of the one before. Once one outlasts it the caller is told, and
    // the calls after it are not made.
    Result RunInOrder(std::vector<std::function<void()>> calls, std::chrono::milliseconds patience);
    Outcome Run(std::function<void()> call, std::chrono::milliseconds patience);

    // Threads inside a task, those given up included.
    unsigned Busy() const;

    struct State;  // shared with the pool's threads

private:
    std::shared_ptr<State> m_state;
};
