// Every wait in a test has its own bound; this is the bound behind them all. A test that runs
// past it ends its program with a line naming it, so an unforeseen hang fails in two minutes
// instead of holding the run until ctest's time-out. PORTLOOK_TEST_BOUND_SECONDS sets another
// bound (the long soak of scripts/bench-soak), 0 none.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

class Watchdog : public testing::EmptyTestEventListener {
public:
    explicit Watchdog(std::chrono::seconds bound) : m_bound(bound), m_thread([this] { Watch(); }) {}
    ~Watchdog() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stop = true;
        lock.unlock();
        m_changed.notify_one();
        m_thread.join();
    }

    void OnTestStart(const testing::TestInfo& test) override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_test = std::string(test.test_suite_name()) + "." + test.name();
        m_deadline = std::chrono::steady_clock::now() + m_bound;
        m_running = true;
        m_changed.notify_one();
    }
    void OnTestEnd(const testing::TestInfo&) override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            if (!m_running) {
                m_changed.wait(lock);
            } else if (m_changed.wait_until(lock, m_deadline) == std::cv_status::timeout &&
                       m_running && std::chrono::steady_clock::now() >= m_deadline) {
                std::fprintf(stderr, "\n%s ran longer than %lld s: the program ends here\n",
                             m_test.c_str(), static_cast<long long>(m_bound.count()));
                std::fflush(stderr);
                std::_Exit(1);
            }
        }
    }

    const std::chrono::seconds m_bound;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_test;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_running = false;
    bool m_stop = false;
    std::thread m_thread;  // last: it starts once the rest is ready
};

// Before main: every test program gets the watchdog without a main of its own.
const bool kWatched = [] {
    const char* set = std::getenv("PORTLOOK_TEST_BOUND_SECONDS");
    const int seconds = set ? std::atoi(set) : 120;
    if (seconds > 0) {
        testing::UnitTest::GetInstance()->listeners().Append(
            new Watchdog(std::chrono::seconds(seconds)));
    }
    return true;
}();

}  // namespace
