// Calls that may never return, made one after another on a thread of their own, each waited
// for only so long. A call that outlasts the patience keeps its thread, which is given up: it
// ends by itself if the call ever returns, and the calls after it go on on a new thread.
// Whatever a call touches must therefore be its own (captured by value or shared), never the
// caller's.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class PatientWorker {
public:
    explicit PatientWorker(std::chrono::milliseconds patience) : m_patience(patience) {}
    // Ends the thread in service; never waits for one given up.
    ~PatientWorker();
    PatientWorker(const PatientWorker&) = delete;
    PatientWorker& operator=(const PatientWorker&) = delete;

    // Makes the calls in order; whether each returned within the patience.
    std::vector<bool> RunAll(const std::vector<std::function<void()>>& calls);
    bool Run(const std::function<void()>& call) { return RunAll({call}).front(); }
    // How many threads were given up, each still inside a call.
    unsigned GivenUp() const { return m_givenUp; }

private:
    struct Mailbox;  // shared by the caller and the thread
    static void Serve(const std::shared_ptr<Mailbox>& mailbox);

    const std::chrono::milliseconds m_patience;
    std::shared_ptr<Mailbox> m_mailbox;
    std::thread m_thread;
    unsigned m_givenUp = 0;
};
