// Surveys beside the caller, on plain data: a probe that the test holds shows how many ports
// are probed at once, and what becomes of a port whose open hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "ports/engine/survey_runner.h"

namespace {

using namespace std::chrono_literals;

// Ports the test holds stay inside the probe until released; the others answer at once.
class ProbeGate {
public:
    void Hold(const std::string& port) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held.insert(port);
    }
    void HoldAll() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bHoldAll = true;
    }
    void ReleaseAll() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held.clear();
        m_bHoldAll = false;
        m_changed.notify_all();
    }
    // Waits until this many probes are inside at once.
    bool WaitForInside(int count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_inside == count; });
    }
    bool WaitForNoneInside() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_inside == 0; });
    }
    int MostInside() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_mostInside;
    }
    int Calls(const std::string& port) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls[port];
    }
    void Reset() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
        m_mostInside = 0;
    }

    PortStatus Probe(const char* port) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_calls[port];
        m_mostInside = std::max(m_mostInside, ++m_inside);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_bHoldAll && m_held.count(port) == 0; });
        --m_inside;
        m_changed.notify_all();
        return port[0] == 'B' ? PortStatus::Busy : PortStatus::Available;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_held;
    bool m_bHoldAll = false;
    int m_inside = 0;
    int m_mostInside = 0;
    std::map<std::string, int> m_calls;
};

ProbeGate g_gate;
PortStatus GatedProbe(const char* port) { return g_gate.Probe(port); }

PortRows RowsOf(std::initializer_list<const char*> ports) {
    PortRows rows;
    for (const char* port : ports) rows.push_back({std::string("\\Device\\") + port, port});
    return rows;
}

class SurveyRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { g_gate.Reset(); }
    void TearDown() override {
        // No probe may outlive the test that started it.
        g_gate.ReleaseAll();
        EXPECT_TRUE(g_gate.WaitForNoneInside());
    }
    std::unique_ptr<SurveyRunner> MakeRunner(std::optional<PortRows> rows,
                                             std::chrono::milliseconds patience = 10s) {
        return std::make_unique<SurveyRunner>(
            [rows] { return rows; }, GatedProbe,
            [this](const PortRows& asked) { return FindHolders(asked); }, [this] { ++m_wakes; }, 8,
            patience);
    }
    // Each port asked about is held by one process named after it.
    std::vector<PortHolders> FindHolders(const PortRows& rows) {
        const std::lock_guard<std::mutex> lock(m_lookupMutex);
        std::vector<PortHolders> holders;
        std::vector<std::string> ports;
        for (const PortRow& row : rows) {
            holders.push_back({PortHolder{42, row.port + ".exe", true}});
            ports.push_back(row.port);
        }
        m_lookups.push_back(ports);
        return holders;
    }
    std::vector<std::vector<std::string>> Lookups() {
        const std::lock_guard<std::mutex> lock(m_lookupMutex);
        return m_lookups;
    }
    std::atomic<int> m_wakes{0};
    std::mutex m_lookupMutex;
    std::vector<std::vector<std::string>> m_lookups;  // the ports of each lookup
};

std::map<std::string, PortStatus> Answers(const SurveyRunner::News& news) {
    return {news.answers.begin(), news.answers.end()};
}

TEST_F(SurveyRunnerTest, ProbesEightPortsAtOnceAndFinishesWhenAllAnswered) {
    g_gate.HoldAll();
    const auto runner = MakeRunner(
        RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "B7", "A8", "A9", "A10", "A11", "A12"}));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(g_gate.WaitForInside(8));
    EXPECT_TRUE(runner->InFlight());
    EXPECT_FALSE(runner->Start()) << "a second survey while one is in flight";
    g_gate.ReleaseAll();
    ASSERT_TRUE(runner->WaitFinished(10s));

    const SurveyRunner::News news = runner->Take();
    EXPECT_TRUE(news.finished);
    ASSERT_TRUE(news.rows.has_value());
    EXPECT_EQ(news.rows->size(), 12u);
    const auto answers = Answers(news);
    EXPECT_EQ(answers.size(), 12u);
    EXPECT_EQ(answers.at("B7"), PortStatus::Busy);
    EXPECT_EQ(answers.at("A12"), PortStatus::Available);
    EXPECT_EQ(g_gate.MostInside(), 8);
    EXPECT_GE(m_wakes.load(), 1);
    EXPECT_FALSE(runner->InFlight());
}

// Answers gathered until these ports have answered; a loaded machine may take its time.
std::map<std::string, PortStatus> AnswersOf(SurveyRunner& runner,
                                            std::initializer_list<const char*> ports) {
    std::map<std::string, PortStatus> answers;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        const auto news = Answers(runner.Take());
        answers.insert(news.begin(), news.end());
        bool all = true;
        for (const char* port : ports) all = all && answers.count(port) != 0;
        if (all || std::chrono::steady_clock::now() > deadline) return answers;
        std::this_thread::sleep_for(1ms);
    }
}

TEST_F(SurveyRunnerTest, AHangingPortIsWaitedForOnlySoLongAndNeverProbedTwice) {
    g_gate.Hold("A1");
    // One port beside the hanging one: the thread stuck in its probe must not count as free.
    const auto runner = MakeRunner(RowsOf({"A1", "B3"}), 50ms);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(runner->WaitFinished(10s)) << "the survey stops waiting for the hanging port";
    EXPECT_EQ(AnswersOf(*runner, {"B3"}),
              (std::map<std::string, PortStatus>{{"B3", PortStatus::Busy}}));

    // The next survey probes the others again, but not the port still pending.
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(runner->WaitFinished(10s));
    EXPECT_EQ(AnswersOf(*runner, {"B3"}).count("A1"), 0u);
    EXPECT_EQ(g_gate.Calls("A1"), 1);
    EXPECT_EQ(g_gate.Calls("B3"), 2);

    // Its answer comes whenever the open returns.
    g_gate.ReleaseAll();
    ASSERT_TRUE(g_gate.WaitForNoneInside());
    EXPECT_EQ(AnswersOf(*runner, {"A1"}),
              (std::map<std::string, PortStatus>{{"A1", PortStatus::Available}}));
}

TEST_F(SurveyRunnerTest, HoldersAreLookedUpOnceForTheBusyPortsAndNeverWhenNoneIsBusy) {
    const auto idle = MakeRunner(RowsOf({"A1", "A2"}));
    ASSERT_TRUE(idle->Start());
    ASSERT_TRUE(idle->WaitFinished(10s));
    EXPECT_TRUE(idle->Take().holders.empty());
    EXPECT_TRUE(Lookups().empty()) << "no port busy, no lookup";

    const auto runner = MakeRunner(RowsOf({"B1", "A2", "B3"}));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(runner->WaitFinished(10s));
    const SurveyRunner::News news = runner->Take();
    EXPECT_TRUE(news.finished);
    ASSERT_EQ(Lookups(), (std::vector<std::vector<std::string>>{{"B1", "B3"}}));
    ASSERT_EQ(news.holders.size(), 2u);
    EXPECT_EQ(news.holders[0].first, "B1");
    EXPECT_EQ(news.holders[1].first, "B3");
    ASSERT_EQ(news.holders[1].second.size(), 1u);
    EXPECT_EQ(news.holders[1].second[0].name, "B3.exe");
}

TEST_F(SurveyRunnerTest, AHangingPortDoesNotKeepTheOthersHoldersBack) {
    g_gate.Hold("A1");
    const auto runner = MakeRunner(RowsOf({"A1", "B2"}), 50ms);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(runner->WaitFinished(10s));
    EXPECT_EQ(Lookups(), (std::vector<std::vector<std::string>>{{"B2"}}));
    EXPECT_EQ(runner->Take().holders.size(), 1u);
}

TEST_F(SurveyRunnerTest, AListThatCannotBeReadFinishesAtOnceWithoutRows) {
    const auto runner = MakeRunner(std::nullopt);
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(runner->WaitFinished(10s));
    const SurveyRunner::News news = runner->Take();
    EXPECT_TRUE(news.listRead);
    EXPECT_FALSE(news.rows.has_value());
    EXPECT_TRUE(news.finished);
    EXPECT_TRUE(runner->Start()) << "the next survey may start";
}

TEST_F(SurveyRunnerTest, NoOneIsWokenOnceTheRunnerHasGone) {
    g_gate.Hold("A1");
    auto runner = MakeRunner(RowsOf({"A1"}));
    ASSERT_TRUE(runner->Start());
    ASSERT_TRUE(g_gate.WaitForInside(1));
    runner->Take();  // the rows' news
    runner.reset();
    const int wakes = m_wakes.load();
    g_gate.ReleaseAll();
    ASSERT_TRUE(g_gate.WaitForNoneInside());
    EXPECT_EQ(m_wakes.load(), wakes);
}

}  // namespace
