// Calls waited for only so long: one that never comes back in time must cost the caller its
// patience and nothing more, what it holds must live until it does come back, and a pool that
// has no thread to give must say so at once.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "ports/engine/call_pool.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A call stays inside until the gate opens.
struct Gate {
    std::promise<void> opening;
    const std::shared_future<void> opened = opening.get_future().share();
    void Open() { opening.set_value(); }
    void Pass() const { opened.wait(); }
};

void NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST(CallPool, GivesUpAStuckCallMakesNoneAfterItAndLetsGoOfItsHoldOnReturn) {
    CallPool pool;
    const auto gate = std::make_shared<Gate>();
    auto held = std::make_shared<int>(0);  // what the stuck call holds, and it alone
    const std::weak_ptr<int> watch = held;
    std::vector<std::thread::id> threads;  // of the calls made
    const auto record = [&threads] { threads.push_back(std::this_thread::get_id()); };
    const auto start = Clock::now();
    const CallPool::Result result =
        pool.RunInOrder({record, [gate, held = std::move(held)] { gate->Pass(); }, record}, 50ms);
    EXPECT_GE(Clock::now() - start, 50ms);
    EXPECT_EQ(result.outcome, CallPool::Outcome::GaveUp);
    EXPECT_EQ(result.returned, 1u);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(pool.Run(record, 5s), CallPool::Outcome::Returned) << "another thread serves on";

    EXPECT_FALSE(watch.expired());
    gate->Open();
    const auto deadline = Clock::now() + 10s;
    while ((!watch.expired() || pool.Busy() != 0) && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(threads.size(), 2u) << "the call after the stuck one was never made";
}

// At its bound, or when the system gives no thread, the pool refuses at once; a call that throws
// has returned, and the program goes on.
TEST(CallPool, RefusesAtOnceWithoutAThreadAndSurvivesACallThatThrows) {
    const auto gate = std::make_shared<Gate>();
    CallPool bounded(1);
    ASSERT_TRUE(bounded.Post([gate] { gate->Pass(); }));
    CallPool noThreads(CallPool::kMostBusy, NoThread);
    for (CallPool* pool : {&bounded, &noThreads}) {
        const auto start = Clock::now();
        EXPECT_EQ(pool->Run([] {}, 10s), CallPool::Outcome::NoThread);
        EXPECT_FALSE(pool->Post([] {}));
        EXPECT_LT(Clock::now() - start, 1s);
    }
    gate->Open();

    CallPool pool;
    EXPECT_EQ(pool.Run([] { throw std::runtime_error("call"); }, 5s), CallPool::Outcome::Returned);
    EXPECT_EQ(pool.Run([] {}, 5s), CallPool::Outcome::Returned);
}

TEST(CallPool, EndsWithoutWaitingForAThreadItGaveUp) {
    const auto gate = std::make_shared<Gate>();
    const auto start = Clock::now();
    {
        CallPool pool;
        EXPECT_EQ(pool.Run([gate] { gate->Pass(); }, 20ms), CallPool::Outcome::GaveUp);
    }
    EXPECT_LT(Clock::now() - start, 5s);
    gate->Open();
}

}  // namespace
