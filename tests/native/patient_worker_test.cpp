// Calls waited for only so long: one that never comes back in time must cost the caller its
// patience and nothing more, and what it holds must live until it does come back.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ports/engine/patient_worker.h"

namespace {

using namespace std::chrono_literals;

// A call stays inside until the gate opens.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void Open() {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [&] { return open; });
    }
};

TEST(PatientWorker, GivesUpAStuckCallAndMakesTheRestInOrderOnANewThread) {
    PatientWorker worker(50ms);
    const auto gate = std::make_shared<Gate>();
    auto held = std::make_shared<int>(0);  // what the stuck call holds, and it alone
    const std::weak_ptr<int> watch = held;
    std::vector<std::thread::id> threads;  // of the calls that return
    const auto record = [&] { threads.push_back(std::this_thread::get_id()); };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        worker.RunAll({record, [gate, held = std::move(held)] { gate->Pass(); }, record, record}),
        (std::vector<bool>{true, false, true, true}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_EQ(worker.GivenUp(), 1u);
    ASSERT_EQ(threads.size(), 3u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_NE(threads[0], threads[1]) << "the calls after the stuck one are not behind it";
    EXPECT_EQ(threads[1], threads[2]);
    EXPECT_TRUE(worker.Run(record)) << "the new thread serves on";

    EXPECT_FALSE(watch.expired());
    gate->Open();
    // The stuck call lets go of what it holds once it comes back, on its own thread.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!watch.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(watch.expired());
}

TEST(PatientWorker, EndsWithoutWaitingForAThreadItGaveUp) {
    const auto gate = std::make_shared<Gate>();
    const auto start = std::chrono::steady_clock::now();
    {
        PatientWorker worker(20ms);
        EXPECT_FALSE(worker.Run([gate] { gate->Pass(); }));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    gate->Open();
}

}  // namespace
