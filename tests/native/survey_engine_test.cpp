// The survey engine on plain data: a reader, a probe and a lookup that the test holds show how
// many ports are probed at once, when the user is woken, and which survey's answers, holders
// and facts each row shows.
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

// What every wait of these tests is bounded by: ample for answers that take milliseconds, and
// short enough that a test whose every wait runs out still ends within a minute.
constexpr std::chrono::milliseconds kWait = 3s;

// Held calls stay inside until released; the others answer at once. A port named B... is busy.
// Holding "probes" holds every probe; only probes count as inside.
class Gate {
    template <typename F>
    auto Locked(F f) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_changed.notify_all();
        return f();
    }
    template <typename F>
    bool WaitFor(F done) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kWait, done);
    }

public:
    void Hold(const std::string& what) {
        Locked([&] { m_held.insert(what); });
    }
    // The calls of `what` held now pass; later ones are held still.
    void Release(const std::string& what) {
        Locked([&] { ++m_freed[what]; });
    }
    void ReleaseAll() {
        Locked([&] {
            m_held.clear();
            ++m_releases;
        });
    }
    void SetStatus(const std::string& port, PortStatus status) {
        Locked([&] { m_status[port] = status; });
    }
    bool WaitForInside(int count) {
        return WaitFor([&] { return m_inside == count; });
    }
    // Waits until `count` calls of `what` have come in, or come back.
    bool WaitForCalls(const std::string& what, int count, bool back = false) {
        return WaitFor([&] { return (back ? m_back : m_calls)[what] >= count; });
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
        const unsigned freed = m_freed[what];
        if (m_held.count(probe ? "probes" : what) != 0 || m_held.count(what) != 0) {
            m_changed.wait(lock, [&] { return m_releases != era || m_freed[what] != freed; });
        }
        if (probe) --m_inside;
        ++m_back[what];
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
    std::map<std::string, unsigned> m_freed;
    std::map<std::string, PortStatus> m_status;
    unsigned m_releases = 0;
    int m_inside = 0;
    int m_mostInside = 0;
    std::map<std::string, int> m_calls;
    std::map<std::string, int> m_back;
};

// Rows whose ports share one device name, as the board UARTs on Linux all are "serial8250".
PortRows RowsOf(std::initializer_list<const char*> ports,
                const std::string& device = "serial8250") {
    PortRows rows;
    for (const char* port : ports) rows.push_back({device, port});
    return rows;
}

// The rows as the user reads them: "A1 available, B2 busy by B2.exe, B3 busy (not looked up)".
std::string Shown(const PortRows& rows) {
    std::string text;
    for (const PortRow& row : rows) {
        text += (text.empty() ? "" : ", ") + row.port + " " +
                (row.pending ? "pending" : StatusText(row.status));
        if (row.holdersFailed) text += " (not looked up)";
        for (const PortHolder& holder : row.holders) text += " by " + holder.name;
    }
    return text;
}

// What the test shares with the engine's threads, which may outlive a test's engine.
struct World {
    Gate gate;
    std::mutex mutex;
    std::optional<PortRows> rows;  // what the reader reads
    PortFactsByPort facts;         // what a walk over the devices finds
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
        // The list as it was when the read began.
        stages.readRows = ReadRowsWithFacts(
            [world] {
                std::unique_lock<std::mutex> lock(world->mutex);
                std::optional<PortRows> rows = world->rows;
                lock.unlock();
                world->gate.Pass("read");
                return rows;
            },
            [world] {
                const std::lock_guard<std::mutex> lock(world->mutex);
                return std::optional<PortFactsByPort>(world->facts);
            });
        stages.probe = [world](const char* port) { return world->gate.Probe(port); };
        // Each port asked about is held by one process named after it. Every lookup passes
        // "lookup", then one named after its ports ("lookup B1 B3").
        stages.findHolders = LookUpBusyHolders([world](const PortRows& rows) {
            std::vector<std::optional<PortHolders>> holders;
            std::string ports;
            for (const PortRow& row : rows) {
                holders.push_back(PortHolders{PortHolder{42, row.port + ".exe", true}});
                ports += (ports.empty() ? "" : " ") + row.port;
            }
            world->gate.Pass("lookup");
            world->gate.Pass("lookup " + ports);
            return holders;
        });
        return stages;
    }
    // An engine with its first survey, of these rows, started.
    std::unique_ptr<SurveyEngine> Surveying(PortRows rows, std::chrono::milliseconds patience = 10s,
                                            unsigned probesAtOnce = SurveyEngine::kProbesAtOnce) {
        SetRows(std::move(rows));
        const std::shared_ptr<World> world = m_world;
        auto engine = std::make_unique<SurveyEngine>(
            Stages(),
            [world] {
                ++world->wakes;
                return world->wakeWorks.load();
            },
            SurveyEngine::Options{probesAtOnce, patience});
        EXPECT_TRUE(engine->Start());
        return engine;
    }
    // An engine of short patience whose first survey gave up waiting for `held`, a call that
    // hangs; nothing when the survey did not start or end.
    std::unique_ptr<SurveyEngine> GaveUpOn(const std::string& held, PortRows rows,
                                           unsigned probesAtOnce = SurveyEngine::kProbesAtOnce) {
        m_gate.Hold(held);
        auto engine = Surveying(std::move(rows), 50ms, probesAtOnce);
        return engine->WaitFinished(kWait) ? std::move(engine) : nullptr;
    }
    // A survey of `engine`, to its end.
    static bool Surveyed(SurveyEngine& engine) {
        return engine.Start() && engine.WaitFinished(kWait);
    }
    int Wakes() const { return m_world->wakes.load(); }
    // Whether `done` comes true in time.
    template <typename Done>
    static bool Eventually(Done done) {
        for (int tries = 0; tries < kWait / 1ms && !done(); ++tries)
            std::this_thread::sleep_for(1ms);
        return done();
    }
    bool WaitForWakes(int count) {
        return Eventually([&] { return Wakes() >= count; });
    }
    // The latest rows once `done` holds for them, or once the wait ran out.
    template <typename Done>
    PortRows RowsOnce(SurveyEngine& engine, Done done) {
        PortRows rows;
        Eventually([&] {
            if (auto news = engine.Take().rows) rows = std::move(*news);
            return !rows.empty() && done(rows);
        });
        return rows;
    }
    // The rows once the survey has finished and no row waits for an answer.
    PortRows Settled(SurveyEngine& engine) {
        EXPECT_TRUE(engine.WaitFinished(kWait));
        return RowsOnce(engine, [](const PortRows& rows) {
            return std::none_of(rows.begin(), rows.end(),
                                [](const PortRow& r) { return r.pending; });
        });
    }

    std::shared_ptr<World> m_world = std::make_shared<World>();
    Gate& m_gate = m_world->gate;
};

TEST_F(SurveyEngineTest, ProbesEightPortsAtOnceAndFinishesOnceAllAnswered) {
    m_gate.Hold("probes");
    const auto engine = Surveying(
        RowsOf({"A1", "A2", "B3", "A4", "A5", "A6", "B7", "A8", "A9", "A10", "A11", "A12"}));
    ASSERT_TRUE(m_gate.WaitForInside(8));
    EXPECT_FALSE(engine->Start()) << "a second survey while one is in flight";
    m_gate.ReleaseAll();
    EXPECT_EQ(Shown(Settled(*engine)),
              "A1 available, A2 available, B3 busy by B3.exe, A4 available, A5 available, A6 "
              "available, B7 busy by B7.exe, A8 available, A9 available, A10 available, A11 "
              "available, A12 available");
    EXPECT_EQ(m_gate.MostInside(), 8);
    EXPECT_EQ(m_gate.Calls("lookup"), 1);
    EXPECT_EQ(m_gate.Calls("lookup B3 B7"), 1) << "one lookup for every busy port";
}

TEST_F(SurveyEngineTest, EightAtOnceCountsTheProbesOfEveryThreadWhoeverStartsThem) {
    // The first survey leaves eight opens hanging, the primary's among them, and four queued.
    const PortRows ports =
        RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10", "A11", "A12"});
    m_gate.Hold("probes");
    const auto engine = Surveying(ports, 100ms);
    ASSERT_TRUE(m_gate.WaitForInside(8));
    ASSERT_TRUE(engine->WaitFinished(kWait));
    // The next survey needs a new primary, which must not open a ninth.
    ASSERT_TRUE(Surveyed(*engine));
    EXPECT_EQ(m_gate.MostInside(), 8);
    EXPECT_EQ(m_gate.Calls("read"), 2) << "the stuck primary was replaced";
    // Each port is opened once, whichever survey queued it.
    m_gate.ReleaseAll();
    Settled(*engine);
    EXPECT_TRUE(m_gate.WaitForInside(0));
    std::this_thread::sleep_for(50ms);  // room for an open that should not start
    for (const PortRow& row : ports) EXPECT_EQ(m_gate.Calls(row.port), 1) << row.port;
}

TEST_F(SurveyEngineTest, AHangingPortIsWaitedForOnlySoLongAndNeverProbedTwice) {
    // One port beside the hanging one: the thread stuck in its probe must not count as free.
    const auto engine = GaveUpOn("A1", RowsOf({"A1", "B3"}));
    ASSERT_TRUE(engine) << "the survey stops waiting for the hanging port";
    EXPECT_EQ(Shown(engine->Take().rows.value()), "A1 pending, B3 busy by B3.exe");
    EXPECT_EQ(m_gate.Calls("lookup B3"), 1) << "the hanging port keeps no other's holders back";

    // The next survey probes the others again, but not the port still pending. Its new primary
    // probes B3 and gets stuck in A4, so the survey after it needs another.
    m_gate.Hold("A4");
    SetRows(RowsOf({"A1", "B3", "A4"}));
    ASSERT_TRUE(Surveyed(*engine));
    EXPECT_EQ(m_gate.Calls("A1"), 1);
    EXPECT_EQ(m_gate.Calls("B3"), 2);
    ASSERT_TRUE(Surveyed(*engine));
    EXPECT_EQ(engine->Take().rowsSurvey, 3u) << "every stuck primary is replaced";
    EXPECT_EQ(m_gate.Calls("A4"), 1);

    // Its answer comes whenever the open returns, and wakes the user.
    const int wakes = Wakes();
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(wakes + 1));
    EXPECT_EQ(Shown(Settled(*engine)), "A1 available, B3 busy by B3.exe, A4 available");
}

TEST_F(SurveyEngineTest, ALateAnswerFindsItsRowWhereverTheListMovedIt) {
    const auto engine = GaveUpOn("A1", RowsOf({"B2", "A1"}));
    ASSERT_TRUE(engine);
    // The ports changed places, and one more came.
    SetRows(RowsOf({"A1", "A0", "B2"}));
    ASSERT_TRUE(Surveyed(*engine));
    m_gate.SetStatus("A1", PortStatus::NotFound);
    m_gate.ReleaseAll();
    EXPECT_EQ(Shown(Settled(*engine)), "A1 not found, A0 available, B2 busy by B2.exe");
}

TEST_F(SurveyEngineTest, NoLookupWhenNoPortIsBusy) {
    const auto engine = Surveying(RowsOf({"A1", "A2"}));
    EXPECT_EQ(Settled(*engine).size(), 2u);
    EXPECT_EQ(m_gate.Calls("lookup"), 0);
}

TEST_F(SurveyEngineTest, AListThatCannotBeReadKeepsTheRowsOfTheSurveyBefore) {
    const auto engine = Surveying(RowsOf({"A1"}));
    ASSERT_EQ(Settled(*engine).size(), 1u);
    SetRows(std::nullopt);
    ASSERT_TRUE(Surveyed(*engine));
    const SurveyEngine::News news = engine->Take();
    EXPECT_FALSE(news.rows.has_value()) << "nothing changed";
    EXPECT_EQ(news.rowsSurvey, 1u);
    EXPECT_EQ(news.survey, 2u);
    EXPECT_TRUE(engine->Start()) << "the next survey may start";
}

// When the user is woken: once per quick survey, folded until Take, again after a failed wake,
// for a slow survey's early rows and for each answer that comes after them or after its survey.
TEST_F(SurveyEngineTest, WakesTheUserForNewsOnlyFoldedUntilTaken) {
    const auto engine = Surveying(RowsOf({"A1", "A2", "A3"}));
    ASSERT_TRUE(engine->WaitFinished(kWait));
    EXPECT_EQ(Wakes(), 1) << "a quick survey wakes once, at its end";
    ASSERT_TRUE(Surveyed(*engine));
    EXPECT_EQ(Wakes(), 1) << "news before Take is folded into the wake already made";
    engine->Take();

    // A slow survey shows its rows before its last answer, and wakes again for each answer.
    m_gate.Hold("A2");
    m_gate.Hold("A3");
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitForWakes(2)) << "the rows of a slow survey";
    const SurveyEngine::News early = engine->Take();
    EXPECT_FALSE(early.finished);
    EXPECT_EQ(Shown(early.rows.value()), "A1 available, A2 pending, A3 pending");
    m_gate.Release("A2");
    EXPECT_TRUE(WaitForWakes(3)) << "Take made room for the next wake";
    EXPECT_FALSE(engine->Take().finished) << "the answer came while A3 still hangs";
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(4));
    ASSERT_TRUE(engine->WaitFinished(kWait));
    engine->Take();

    // A wake that could not be delivered is made again at the next news.
    m_gate.Hold("A2");
    m_world->wakeWorks = false;
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitForWakes(5));
    m_gate.ReleaseAll();
    EXPECT_TRUE(WaitForWakes(6));
    EXPECT_TRUE(engine->WaitFinished(kWait));

    // After a slow survey, a quick one again tries to wake its user once only, at its end.
    const int before = Wakes();
    ASSERT_TRUE(Surveyed(*engine));
    EXPECT_EQ(Wakes(), before + 1);
}

TEST_F(SurveyEngineTest, DefaultPatienceEndsASurveyWhoseOpenHangs) {
    m_gate.Hold("A1");
    SetRows(RowsOf({"A1"}));
    SurveyEngine engine(Stages(), nullptr);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(Surveyed(engine));
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, SurveyEngine::kPatience);
    EXPECT_LT(waited, 2s) << "the window's continuous period: a hanging port must not stop it";
    EXPECT_TRUE(engine.Take().rows.value()[0].pending);
}

// The faults of the engine before this one, each a scenario over the same stages.
class SurveyEngineFaults : public SurveyEngineTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(SurveyEngineFaults, Scenario) {
    const std::string scenario = GetParam();
    if (scenario == "ListReadAfterItsSurveyGaveUpServesNoSurvey" ||
        scenario == "ListReadThatComesDuringTheNextSurveyServesItNot") {
        // The late read lists B1; when the next survey reads, the list is A2.
        const auto engine = GaveUpOn("read", RowsOf({"B1"}));
        ASSERT_TRUE(engine);
        EXPECT_FALSE(engine->Take().rows.has_value()) << "it gave up before the list came";
        SetRows(RowsOf({"A2"}));
        const bool during = scenario == "ListReadThatComesDuringTheNextSurveyServesItNot";
        ASSERT_TRUE(!during || engine->Start());
        m_gate.ReleaseAll();
        ASSERT_TRUE(m_gate.WaitForCalls("read", 1, true));
        ASSERT_TRUE(during || engine->Start());
        EXPECT_EQ(Shown(Settled(*engine)), "A2 available");
        EXPECT_EQ(m_gate.Calls("B1"), 0) << "the late rows were probed by no survey";
        EXPECT_EQ(m_gate.Calls("lookup"), 0);
    } else if (scenario == "NoOpenStartsOnceTheEngineIsGone") {
        m_gate.Hold("probes");
        auto engine =
            Surveying(RowsOf({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "A9", "A10"}));
        ASSERT_TRUE(m_gate.WaitForInside(8));
        engine.reset();
        m_gate.ReleaseAll();
        EXPECT_TRUE(m_gate.WaitForInside(0));
        std::this_thread::sleep_for(50ms);  // room for an open that should not start
        EXPECT_EQ(m_gate.Calls("A9") + m_gate.Calls("A10"), 0);
    } else if (scenario == "AnAnswerForTheDeviceBeforeAChangeServesNoNewRow" ||
               scenario == "AnAnswerForAnotherDeviceOfTheSameNameServesNoNewRow") {
        // The old open of A1 hangs; one probe at a time, the new device's waits behind it.
        m_world->facts["A1"].description = "old adapter";
        const auto engine = GaveUpOn("A1", RowsOf({"A1"}), 1);
        ASSERT_TRUE(engine);
        const bool change = scenario == "AnAnswerForTheDeviceBeforeAChangeServesNoNewRow";
        if (change) {  // the adapter was plugged in again under the same names
            const std::lock_guard<std::mutex> lock(m_world->mutex);
            m_world->facts["A1"].description = "new adapter";
            engine->Forget();
        } else {
            SetRows(RowsOf({"A1"}, "another device"));
        }
        ASSERT_TRUE(Surveyed(*engine));
        // The old open's answer comes, for a device that is no longer there.
        m_gate.SetStatus("A1", PortStatus::NotFound);
        m_gate.Release("A1");
        ASSERT_TRUE(m_gate.WaitForCalls("A1", 2)) << "the new device is probed";
        const PortRows rows = engine->Take().rows.value();
        EXPECT_EQ(Shown(rows), "A1 pending") << "the rows stay";
        EXPECT_EQ(rows[0].facts.description, change ? "new adapter" : "old adapter");
        m_gate.SetStatus("A1", PortStatus::Busy);
        m_gate.ReleaseAll();
        EXPECT_EQ(Shown(Settled(*engine)), "A1 busy by A1.exe") << "its own answer";
        EXPECT_EQ(m_gate.Calls("A1"), 2);
    } else if (scenario == "ABusyAnswerAfterThePatienceGetsItsHolders" ||
               scenario == "ABusyAnswerDuringTheLookupGetsItsHolders") {
        // B2's open outlasts the patience and answers after the survey, or while the lookup of
        // B1's holders is still at work.
        const bool during = scenario == "ABusyAnswerDuringTheLookupGetsItsHolders";
        m_gate.Hold("B2");
        m_gate.Hold(during ? "lookup B1" : "");
        const auto engine = Surveying(RowsOf({"B1", "B2"}), during ? 300ms : 50ms);
        ASSERT_TRUE(during ? m_gate.WaitForCalls("lookup B1", 1) : engine->WaitFinished(kWait));
        m_gate.Release("B2");
        ASSERT_TRUE(engine->WaitFinished(kWait));
        // Its holders stay when the lookup it came during gives up.
        const PortRows rows =
            RowsOnce(*engine, [](const PortRows& r) { return !r.back().holders.empty(); });
        EXPECT_EQ(Shown(rows), during ? "B1 busy (not looked up), B2 busy by B2.exe"
                                      : "B1 busy by B1.exe, B2 busy by B2.exe");
    } else if (scenario == "AnEarlierSurveysLookupLeavesTheNewRowsAndTheirSurveyAlone") {
        // The first survey's lookup, made when it stopped waiting for A0, hangs past the
        // patience and comes back while the next survey waits for its own; B1 is free by now.
        m_gate.Hold("A0");
        m_gate.Hold("lookup B1");
        const auto engine = Surveying(RowsOf({"B1", "A0"}), 200ms);
        ASSERT_TRUE(engine->WaitFinished(kWait));
        EXPECT_EQ(Shown(engine->Take().rows.value()), "B1 busy (not looked up), A0 pending");
        m_gate.SetStatus("B1", PortStatus::Available);
        m_gate.Hold("lookup B2");
        SetRows(RowsOf({"B1", "B2", "A0"}));
        ASSERT_TRUE(engine->Start());
        ASSERT_TRUE(m_gate.WaitForCalls("lookup B2", 1));
        m_gate.Release("lookup B1");
        ASSERT_TRUE(engine->WaitFinished(kWait));
        // A free port shows no holders; B2's survey ended by its own lookup, not the earlier one.
        EXPECT_EQ(Shown(engine->Take().rows.value()),
                  "B1 available, B2 busy (not looked up), A0 pending");
    } else {
        FAIL() << "no such scenario";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Engine, SurveyEngineFaults,
    ::testing::Values("ListReadAfterItsSurveyGaveUpServesNoSurvey",
                      "ListReadThatComesDuringTheNextSurveyServesItNot",
                      "NoOpenStartsOnceTheEngineIsGone",
                      "AnAnswerForTheDeviceBeforeAChangeServesNoNewRow",
                      "AnAnswerForAnotherDeviceOfTheSameNameServesNoNewRow",
                      "ABusyAnswerAfterThePatienceGetsItsHolders",
                      "ABusyAnswerDuringTheLookupGetsItsHolders",
                      "AnEarlierSurveysLookupLeavesTheNewRowsAndTheirSurveyAlone"),
    [](const ::testing::TestParamInfo<const char*>& scenario) { return scenario.param; });

// Without a thread, a survey still answers, at once and on the user's thread: the list, every
// probe that cannot hang, and the holders; a probe that may hang is not made.
TEST_F(SurveyEngineTest, WithoutAThreadTheSurveyAnswersWhatCannotHang) {
    static CallPool noThreads(CallPool::kMostBusy, [](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    const SurveyEngine::Options options{SurveyEngine::kProbesAtOnce, SurveyEngine::kPatience,
                                        &noThreads};
    for (const bool probeMayHang : {true, false}) {
        SetRows(RowsOf({"A1", "B2"}));
        SurveyStages stages = Stages();
        stages.probeMayHang = probeMayHang;
        SurveyEngine engine(stages, nullptr, options);
        ASSERT_TRUE(engine.Start());
        EXPECT_FALSE(engine.InFlight()) << "it finished on this thread";
        const std::optional<PortRows> rows = SurveyWithin(engine, kWait);
        ASSERT_TRUE(rows.has_value()) << "the list was read";
        EXPECT_EQ(Shown(*rows),
                  probeMayHang ? "A1 unknown, B2 unknown" : "A1 available, B2 busy by B2.exe");
        EXPECT_EQ((*rows)[0].reason, probeMayHang ? PortReason::NoAnswer : PortReason::None);
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

    // A lookup that throws, and one that answers for the first busy port only, and not there.
    const PortHolderLookup answersNothing = [](const PortRows&) {
        return std::vector<std::optional<PortHolders>>{std::nullopt};
    };
    SetRows(RowsOf({"B1", "A2", "B3"}));
    stages = Stages();
    using Stage = std::function<void(PortRows&)>;
    for (const Stage& lookup : {Stage([](PortRows&) { throw std::runtime_error("lookup"); }),
                                LookUpBusyHolders(answersNothing)}) {
        stages.findHolders = lookup;
        SurveyEngine looking(stages, nullptr);
        ASSERT_TRUE(looking.Start());
        EXPECT_EQ(Shown(Settled(looking)),
                  "B1 busy (not looked up), A2 available, B3 busy (not looked up)");
    }
}

// A console survey ends by its deadline whatever it waits for, and leaves the lookup time in it.
TEST_F(SurveyEngineTest, TheDeadlineMakesAPendingPortUnknownAndHoldersNotLookedUp) {
    for (const bool lookupHangs : {true, false}) {
        SetRows(RowsOf({"A1", "B2", "A3"}));
        m_gate.Hold("A1");
        m_gate.Hold(lookupHangs ? "lookup" : "");
        SurveyEngine engine(Stages(), nullptr,
                            {SurveyEngine::kProbesAtOnce, ConsolePatience(600ms)});
        const std::optional<PortRows> rows = SurveyWithin(engine, 600ms);
        m_gate.ReleaseAll();
        ASSERT_TRUE(rows.has_value());
        EXPECT_EQ(Shown(*rows), lookupHangs ? "A1 unknown, B2 busy (not looked up), A3 available"
                                            : "A1 unknown, B2 busy by B2.exe, A3 available");
        EXPECT_EQ((*rows)[0].reason, PortReason::NoAnswer);
    }
}

}  // namespace
