// The survey engine on plain data: a reader, a probe and a lookup that the test holds show how
// many ports are probed at once, when the user is woken, and what becomes of a port whose open
// hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "ports/engine/survey_engine.h"

namespace {

using namespace std::chrono_literals;

// Held calls stay inside until released; the others answer at once. A port named B... is busy.
// HoldAll holds every probe; only probes count as inside.
class Gate {
    template <typename F>
    auto Locked(F f) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_changed.notify_all();
        return f();
    }

public:
    void Hold(const std::string& what) {
        Locked([&] { m_held.insert(what); });
    }
    // Calls from now on pass; those held stay so.
    void Let(const std::string& what) {
        Locked([&] { m_held.erase(what); });
    }
    void HoldAll() {
        Locked([&] { m_bHoldAll = true; });
    }
    void ReleaseAll() {
        Locked([&] {
            m_held.clear();
            m_bHoldAll = false;
            ++m_releases;
        });
    }
    void SetStatus(const std::string& port, PortStatus status) {
        Locked([&] { m_status[port] = status; });
    }
    bool WaitForInside(int count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_inside == count; });
    }
    int MostInside() {
        return Locked([&] { return m_mostInside; });
    }
    int Calls(const std::string& what) {
        return Locked([&] { return m_calls[what]; });
    }
    // A call of `what`; held while the test holds it.
    void Pass(const std::string& what, bool probe = false) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_calls[what];
        if (probe) m_mostInside = std::max(m_mostInside, ++m_inside);
        m_changed.notify_all();
        const unsigned era = m_releases;
        if ((probe && m_bHoldAll) || m_held.count(what) != 0) {
            m_changed.wait(lock, [&] { return m_releases != era; });
        }
        if (probe) --m_inside;
        m_changed.notify_all();
    }
    ProbeResult Probe(const char* port) {
        Pass(port, true);
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto set = m_status.find(port);
        if (set != m_status.end()) return set->second;
        return port[0] == 'B' ? PortStatus::Busy : PortStatus::Available;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_held;
    std::map<std::string, PortStatus> m_status;
    bool m_bHoldAll = false;
    unsigned m_releases = 0;
    int m_inside = 0;
    int m_mostInside = 0;
    std::map<std::string, int> m_calls;
};

PortRows RowsOf(std::initializer_list<const char*> ports, const std::string& device = "\\D\\") {
    PortRows rows;
    for (const char* port : ports) rows.push_back({device + port, port});
    return rows;
}

// What the test shares with the engine's threads, which may outlive a test's engine.
struct World {
    Gate gate;
    std::mutex mutex;
    std::optional<PortRows> rows;                   // what the reader reads
    std::vector<std::vector<std::string>> lookups;  // the ports of each lookup
    std::atomic<int> wakes{0};
    std::atomic<bool> wakeWorks{true};
};

class SurveyEngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        // No call may outlive the test that started it.
        m_world->gate.ReleaseAll();
        EXPECT_TRUE(m_world->gate.WaitForInside(0));
    }
    void SetRows(std::optional<PortRows> rows) {
        const std::lock_guard<std::mutex> lock(m_world->mutex);
        m_world->rows = std::move(rows);
    }
    SurveyStages Stages() const {
        const std::shared_ptr<World> world = m_world;
        SurveyStages stages;
        stages.readRows = [world](bool) {
            world->gate.Pass("read");
            const std::lock_guard<std::mutex> lock(world->mutex);
            return world->rows;
        };
        stages.probe = [world](const char* port) { return world->gate.Probe(port); };
        // Each port asked about is held by one process named after it.
        stages.findHolders = LookUpBusyHolders([world](const PortRows& rows) {
            world->gate.Pass("lookup");
            std::vector<std::optional<PortHolders>> holders;
            std::vector<std::string> ports;
            for (const PortRow& row : rows) {
                holders.push_back(PortHolders{PortHolder{42, row.port + ".exe", true}});
                ports.push_back(row.port);
            }
            const std::lock_guard<std::mutex> lock(world->mutex);
            world->lookups.push_back(ports);
            return holders;
        });
        return stages;
    }
    std::unique_ptr<SurveyEngine> MakeEngine(std::chrono::milliseconds patience = 10s) {
        SurveyEngine::Options options;
        options.patience = patience;
        const std::shared_ptr<World> world = m_world;
        return std::make_unique<SurveyEngine>(
            Stages(),
            [world] {
                ++world->wakes;
                return world->wakeWorks.load();
            },
            options);
    }
    // An engine of short patience whose first survey gave up waiting for `held`, a call that
    // hangs; nothing when the survey did not start or end.
    std::unique_ptr<SurveyEngine> GaveUpOn(const std::string& held, PortRows rows) {
        m_gate.Hold(held);
        SetRows(std::move(rows));
        auto engine = MakeEngine(50ms);
        if (!engine->Start() || !engine->WaitFinished(10s)) return nullptr;
        return engine;
    }
    std::vector<std::vector<std::string>> Lookups() {
        const std::lock_guard<std::mutex> lock(m_world->mutex);
        return m_world->lookups;
    }
    int Wakes() const { return m_world->wakes.load(); }
    // Waits until the wakes reach `count`.
    bool WaitForWakes(int count) {
        for (int tries = 0; tries < 10000 && Wakes() < count; ++tries) {
            std::this_thread::sleep_for(1ms);
        }
        return Wakes() >= count;
    }
    // The rows once the survey has finished and no row waits for an answer.
    PortRows Settled(SurveyEngine& engine) {
        EXPECT_TRUE(engine.WaitFinished(10s));
        PortRows rows;
        for (int tries = 0; tries < 10000; ++tries) {
            if (auto news = engine.Take().rows) rows = std::move(*news);
            if (std::none_of(rows.begin(), rows.end(),
                             [](const PortRow& r) { return r.pending; }) &&
                !rows.empty()) {
                break;
            }
            std::this_thread::sleep_for(1ms);
        }
        return rows;
    }

    std::shared_ptr<World> m_world = std::make_shared<World>();
    Gate& m_gate = m_world->gate;
};

TEST_F(SurveyEngineTest, ProbesEightPortsAtOnceAndFinishesOnceAllAnswered) {
    SetRows(RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "B7", "A8", "A9", "A10", "A11", "A12"}));
    const auto engine = MakeEngine();
    m_gate.HoldAll();
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(m_gate.WaitForInside(8));
    EXPECT_FALSE(engine->Start()) << "a second survey while one is in flight";
    m_gate.ReleaseAll();
    const PortRows rows = Settled(*engine);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[6].status, PortStatus::Busy);
    EXPECT_EQ(rows[11].status, PortStatus::Available);
    EXPECT_FALSE(rows[11].pending);
    EXPECT_EQ(m_gate.MostInside(), 8);
    EXPECT_EQ(Lookups(), (std::vector<std::vector<std::string>>{{"B7"}}));
}

TEST_F(SurveyEngineTest, EightAtOnceCountsTheProbesOfEveryThreadWhoeverStartsThem) {
    // The first survey leaves eight opens hanging, the primary's among them, and four queued.
    SetRows(RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10", "A11", "A12"}));
    const auto engine = MakeEngine(100ms);
    m_gate.HoldAll();
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(m_gate.WaitForInside(8));
    ASSERT_TRUE(engine->WaitFinished(10s));
    // The next survey needs a new primary, which must not open a ninth.
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    EXPECT_EQ(m_gate.MostInside(), 8);
    EXPECT_EQ(m_gate.Calls("read"), 2) << "the stuck primary was replaced";
}

TEST_F(SurveyEngineTest, AHangingPortIsWaitedForOnlySoLongAndNeverProbedTwice) {
    // One port beside the hanging one: the thread stuck in its probe must not count as free.
    const auto engine = GaveUpOn("A1", RowsOf({"A1", "B3"}));
    ASSERT_TRUE(engine) << "the survey stops waiting for the hanging port";
    PortRows rows = engine->Take().rows.value();
    EXPECT_TRUE(rows[0].pending);
    EXPECT_EQ(rows[1].status, PortStatus::Busy);
    EXPECT_EQ(Lookups(), (std::vector<std::vector<std::string>>{{"B3"}}))
        << "the hanging port keeps no other port's holders back";

    // The next survey probes the others again, but not the port still pending.
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    EXPECT_EQ(m_gate.Calls("A1"), 1);
    EXPECT_EQ(m_gate.Calls("B3"), 2);

    // Its answer comes whenever the open returns, and wakes the user.
    engine->Take();
    const int wakes = Wakes();
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(wakes + 1));
    rows = Settled(*engine);
    EXPECT_FALSE(rows[0].pending);
    EXPECT_EQ(rows[0].status, PortStatus::Available);
}

TEST_F(SurveyEngineTest, ALateAnswerFindsItsRowWhereverTheListMovedIt) {
    const auto engine = GaveUpOn("A1", RowsOf({"B2", "A1"}));
    ASSERT_TRUE(engine);
    // The ports changed places, and one more came.
    SetRows(RowsOf({"A1", "A0", "B2"}));
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    m_gate.SetStatus("A1", PortStatus::NotFound);
    m_gate.ReleaseAll();
    const PortRows rows = Settled(*engine);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].status, PortStatus::NotFound) << "the hanging port's own answer";
    EXPECT_EQ(rows[1].status, PortStatus::Available);
    EXPECT_EQ(rows[2].status, PortStatus::Busy);
    ASSERT_EQ(rows[2].holders.size(), 1u);
    EXPECT_EQ(rows[2].holders[0].name, "B2.exe");
}

TEST_F(SurveyEngineTest, NoLookupWhenNoPortIsBusy) {
    SetRows(RowsOf({"A1", "A2"}));
    const auto engine = MakeEngine();
    ASSERT_TRUE(engine->Start());
    EXPECT_EQ(Settled(*engine).size(), 2u);
    EXPECT_TRUE(Lookups().empty());
}

TEST_F(SurveyEngineTest, AListThatCannotBeReadKeepsTheRowsOfTheSurveyBefore) {
    SetRows(RowsOf({"A1"}));
    const auto engine = MakeEngine();
    ASSERT_TRUE(engine->Start());
    ASSERT_EQ(Settled(*engine).size(), 1u);
    SetRows(std::nullopt);
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    const SurveyEngine::News news = engine->Take();
    EXPECT_FALSE(news.rows.has_value()) << "nothing changed";
    EXPECT_EQ(news.rowsSurvey, 1u);
    EXPECT_EQ(news.survey, 2u);
    EXPECT_TRUE(engine->Start()) << "the next survey may start";
}

// When the user is woken: once per quick survey, folded until Take, again after a failed wake,
// for a slow survey's early rows and for an answer that comes after its survey.
TEST_F(SurveyEngineTest, WakesTheUserForNewsOnlyFoldedUntilTaken) {
    SetRows(RowsOf({"A1", "A2"}));
    const auto engine = MakeEngine(10s);
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    EXPECT_EQ(Wakes(), 1) << "a quick survey wakes once, at its end";
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(engine->WaitFinished(10s));
    EXPECT_EQ(Wakes(), 1) << "news before Take is folded into the wake already made";
    engine->Take();

    // A slow survey shows its rows before its last answer, and wakes again for the answer.
    m_gate.Hold("A2");
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitForWakes(2)) << "the rows of a slow survey";
    const SurveyEngine::News early = engine->Take();
    EXPECT_FALSE(early.finished);
    ASSERT_TRUE(early.rows.has_value());
    EXPECT_TRUE((*early.rows)[1].pending);
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(3)) << "Take made room for the next wake";
    ASSERT_TRUE(engine->WaitFinished(10s));
    engine->Take();

    // A wake that could not be delivered is made again at the next news.
    m_gate.Hold("A2");
    m_world->wakeWorks = false;
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitForWakes(4));
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(5));
    EXPECT_TRUE(engine->WaitFinished(10s));
}

TEST_F(SurveyEngineTest, DefaultPatienceEndsASurveyWhoseOpenHangs) {
    m_gate.Hold("A1");
    SetRows(RowsOf({"A1"}));
    const std::shared_ptr<World> world = m_world;
    SurveyEngine engine(Stages(), [world] { return ++world->wakes > 0; });
    ASSERT_TRUE(engine.Start());
    EXPECT_TRUE(engine.WaitFinished(10s));
    EXPECT_TRUE(engine.Take().rows.value()[0].pending);
}

// The faults of the engine before this one, each a scenario over the same stages.
struct FaultScenario {
    const char* name;
    void (*run)(SurveyEngineTest& test);
};

class SurveyEngineFaults : public SurveyEngineTest,
                           public ::testing::WithParamInterface<FaultScenario> {
public:
    using SurveyEngineTest::GaveUpOn;
    using SurveyEngineTest::Lookups;
    using SurveyEngineTest::m_gate;
    using SurveyEngineTest::MakeEngine;
    using SurveyEngineTest::SetRows;
    using SurveyEngineTest::Settled;
};

const FaultScenario kFaultScenarios[] = {
    {"ListReadAfterItsSurveyGaveUpServesNoSurvey",
     [](SurveyEngineTest& t) {
         auto& test = static_cast<SurveyEngineFaults&>(t);
         const auto engine = test.GaveUpOn("read", RowsOf({"B1"}));
         ASSERT_TRUE(engine);
         EXPECT_FALSE(engine->Take().rows.has_value()) << "it gave up before the list came";
         test.m_gate.ReleaseAll();
         EXPECT_TRUE(test.m_gate.WaitForInside(0));
         test.m_gate.SetStatus("B1", PortStatus::Available);
         ASSERT_TRUE(engine->Start());
         const PortRows rows = test.Settled(*engine);
         ASSERT_EQ(rows.size(), 1u);
         EXPECT_EQ(rows[0].status, PortStatus::Available);
         EXPECT_TRUE(rows[0].holders.empty());
         EXPECT_EQ(test.m_gate.Calls("B1"), 1) << "the late rows were probed by no survey";
         EXPECT_TRUE(test.Lookups().empty());
     }},
    {"NoOpenStartsOnceTheEngineIsGone",
     [](SurveyEngineTest& t) {
         auto& test = static_cast<SurveyEngineFaults&>(t);
         test.SetRows(RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10"}));
         test.m_gate.HoldAll();
         auto engine = test.MakeEngine();
         ASSERT_TRUE(engine->Start());
         ASSERT_TRUE(test.m_gate.WaitForInside(8));
         engine.reset();
         test.m_gate.ReleaseAll();
         EXPECT_TRUE(test.m_gate.WaitForInside(0));
         std::this_thread::sleep_for(50ms);  // room for an open that should not start
         EXPECT_EQ(test.m_gate.Calls("A9") + test.m_gate.Calls("A10"), 0);
     }},
    {"AnAnswerForTheDeviceBeforeAChangeServesNoNewRow",
     [](SurveyEngineTest& t) {
         auto& test = static_cast<SurveyEngineFaults&>(t);
         const auto engine = test.GaveUpOn("A1", RowsOf({"A1"}));
         ASSERT_TRUE(engine);
         // Another device under the same name, while the old open hangs.
         engine->Forget();
         test.m_gate.Let("A1");
         test.m_gate.SetStatus("A1", PortStatus::Busy);
         ASSERT_TRUE(engine->Start());
         EXPECT_EQ(test.Settled(*engine).at(0).status, PortStatus::Busy) << "its own answer";
         EXPECT_EQ(test.m_gate.Calls("A1"), 2) << "the new device is probed";
         // The old open's answer comes, for a device that is no longer there.
         test.m_gate.SetStatus("A1", PortStatus::NotFound);
         test.m_gate.ReleaseAll();
         EXPECT_TRUE(test.m_gate.WaitForInside(0));
         std::this_thread::sleep_for(50ms);  // room for an answer that should not be shown
         const std::optional<PortRows> later = engine->Take().rows;
         EXPECT_TRUE(!later || later->at(0).status == PortStatus::Busy) << "the rows stay";
     }},
    {"ABusyAnswerAfterThePatienceGetsItsHolders",
     [](SurveyEngineTest& t) {
         auto& test = static_cast<SurveyEngineFaults&>(t);
         const auto engine = test.GaveUpOn("B1", RowsOf({"B1", "A2"}));
         ASSERT_TRUE(engine);
         test.m_gate.ReleaseAll();
         PortRows rows;
         for (int tries = 0; tries < 1000 && (rows.empty() || rows[0].holders.empty()); ++tries) {
             std::this_thread::sleep_for(1ms);
             if (auto news = engine->Take().rows) rows = std::move(*news);
         }
         ASSERT_EQ(rows.size(), 2u);
         EXPECT_EQ(rows[0].status, PortStatus::Busy);
         ASSERT_EQ(rows[0].holders.size(), 1u);
         EXPECT_EQ(rows[0].holders[0].name, "B1.exe");
     }},
};

TEST_P(SurveyEngineFaults, Scenario) { GetParam().run(*this); }

INSTANTIATE_TEST_SUITE_P(Engine, SurveyEngineFaults, ::testing::ValuesIn(kFaultScenarios),
                         [](const ::testing::TestParamInfo<FaultScenario>& scenario) {
                             return std::string(scenario.param.name);
                         });

// Without a thread, a survey still answers, at once and on the user's thread: the list, every
// probe that cannot hang, and the holders; a probe that may hang is not made.
void NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST_F(SurveyEngineTest, WithoutAThreadTheSurveyAnswersWhatCannotHang) {
    static CallPool noThreads(CallPool::kMostBusy, NoThread);
    SurveyEngine::Options options;
    options.pool = &noThreads;
    for (const bool probeMayHang : {true, false}) {
        SCOPED_TRACE(probeMayHang ? "opens" : "no opens");
        SetRows(RowsOf({"A1", "B2"}));
        SurveyStages stages = Stages();
        stages.probeMayHang = probeMayHang;
        SurveyEngine engine(stages, nullptr, options);
        ASSERT_TRUE(engine.Start());
        EXPECT_FALSE(engine.InFlight()) << "it finished on this thread";
        const std::optional<PortRows> rows = SurveyWithin(engine, 10s);
        ASSERT_TRUE(rows.has_value()) << "the list was read";
        ASSERT_EQ(rows->size(), 2u);
        if (probeMayHang) {
            EXPECT_EQ((*rows)[0].status, PortStatus::Unknown);
            EXPECT_EQ((*rows)[0].reason, PortReason::NoAnswer);
            EXPECT_EQ((*rows)[1].status, PortStatus::Unknown);
        } else {
            EXPECT_EQ((*rows)[0].status, PortStatus::Available);
            EXPECT_EQ((*rows)[1].status, PortStatus::Busy);
            ASSERT_EQ((*rows)[1].holders.size(), 1u);
            EXPECT_EQ((*rows)[1].holders[0].name, "B2.exe");
        }
    }
    EXPECT_EQ(m_gate.Calls("A1"), 2) << "a probe that may hang was not made";
}

TEST_F(SurveyEngineTest, StagesThatThrowFailTheirRowsNotTheProgram) {
    SurveyStages stages = Stages();
    stages.probe = [](const char*) -> ProbeResult { throw std::runtime_error("probe"); };
    SetRows(RowsOf({"A1"}));
    SurveyEngine engine(stages, nullptr);
    ASSERT_TRUE(engine.Start());
    PortRows rows = Settled(engine);
    EXPECT_EQ(rows.at(0).status, PortStatus::Unknown);
    EXPECT_EQ(rows.at(0).reason, PortReason::OpenFailed);

    stages = Stages();
    stages.findHolders = [](PortRows&) { throw std::runtime_error("lookup"); };
    SetRows(RowsOf({"B1"}));
    SurveyEngine looking(stages, nullptr);
    ASSERT_TRUE(looking.Start());
    rows = Settled(looking);
    EXPECT_TRUE(rows.at(0).holdersFailed);
}

// A console survey ends by its deadline whatever it waits for.
TEST_F(SurveyEngineTest, TheDeadlineMakesAPendingPortUnknownAndHoldersNotLookedUp) {
    SetRows(RowsOf({"A1", "B2"}));
    m_gate.Hold("A1");
    m_gate.Hold("lookup");
    SurveyEngine::Options options;
    options.patience = ConsolePatience(200ms);
    SurveyEngine engine(Stages(), nullptr, options);
    const std::optional<PortRows> rows = SurveyWithin(engine, 200ms);
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ((*rows)[0].status, PortStatus::Unknown);
    EXPECT_EQ((*rows)[0].reason, PortReason::NoAnswer);
    EXPECT_FALSE((*rows)[0].pending);
    EXPECT_EQ((*rows)[1].status, PortStatus::Busy);
    EXPECT_TRUE((*rows)[1].holdersFailed);
}

}  // namespace
