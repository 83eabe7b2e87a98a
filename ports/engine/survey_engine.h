// The one survey of the ports, for the window and the console programs alike: read the port
// list with each port's facts (cached), probe the ports (at most 8 at once, each waited for
// only so long), then find who holds the busy ones (one lookup for all of them).
//
// Threads and ownership. The engine's user (the window's thread, a console's main) calls its
// members; the work runs on threads of the process's call pool (see call_pool.h):
// - the primary reads the list and then probes one port after another, which is the least
//   work while opens are quick; it alone runs the row reader, so the facts cache behind it
//   has one user at a time;
// - the watch times the survey in flight: it gives up waiting at the patience, marks a slow
//   survey for showing early, and brings helpers (more probing threads) once an open has
//   taken long, or a new primary when the old one is stuck inside an open;
// - helpers probe from the same queue and end when it is empty.
// A thread stuck inside an open is never waited for: the user may destroy the engine and
// end at any time. Everything a thread touches is therefore shared with it (the stages are
// copied in, the state lives in a shared block), never borrowed from the user. Once the
// engine is gone, no thread starts another open, and no one is woken. When the pool has no
// thread to give, a survey still answers: the user's thread reads the list and runs the
// stages that cannot hang, and a port whose probe may hang is "unknown (no answer)".
//
// How results reach the user: one way only, the rows. The engine keeps the rows of the
// latest survey that read its list, each saying whether its status is still pending, and
// updates them as answers and holders come. `Wake` says that something changed; `Take` hands
// over a copy. A probe that outlasts its survey stays pending, and no later survey of the
// same device probes that port again; its answer, whenever it comes, updates the rows that
// wait for it, with the holders of a busy port looked up then.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "ports/engine/call_pool.h"
#include "ports/engine/port_facts_reader.h"
#include "ports/engine/port_holders.h"
#include "ports/engine/port_probe.h"
#include "ports/engine/port_survey.h"

// The parts of a survey that touch the system; each runs on one of the engine's threads.
struct SurveyStages {
    // The port list with each port's facts; nothing when the list cannot be read. `forget`:
    // devices came or went since the last read, so no facts may be taken from a cache.
    std::function<std::optional<PortRows>(bool forget)> readRows;
    PortProbe probe;
    // Whether a probe can block for long (an open can; a look at the node cannot): when no
    // thread can be had, a probe that cannot is made on the user's thread.
    bool probeMayHang = true;
    // Fills in the holders of the rows' ports: given every answered row of a survey (or one
    // late answer), it decides which to look at. See LookUpBusyHolders.
    std::function<void(PortRows& rows)> findHolders;
};

// The stage that asks `lookup` once about the busy rows, and not at all when none is busy.
std::function<void(PortRows& rows)> LookUpBusyHolders(PortHolderLookup lookup);

// The stage that reads the list with `readList` and fills in each port's facts from
// `walkFacts`, kept from read to read while devices stay.
std::function<std::optional<PortRows>(bool forget)> ReadRowsWithFacts(
    std::function<std::optional<PortRows>()> readList, PortFactsWalk walkFacts);

// The system's own list, facts, exclusive open and holder lookup.
SurveyStages SystemSurveyStages(PortProbe probe = ProbePortWithReason);
// The system's own list and facts, each port's status told without opening it: on Linux from
// the usage scan, on Windows from the handle snapshot alone.
SurveyStages NoOpenSurveyStages();

class SurveyEngine {
public:
    // Called on an engine thread when there is news to take; it must not block. It says
    // whether the user was told: calls that come before the next Take are folded into one, and
    // a call that failed is made again at the next news.
    using Wake = std::function<bool()>;

    static constexpr unsigned kProbesAtOnce = 8;
    // Less than the window's continuous period, so that a hanging port does not stop it.
    static constexpr std::chrono::milliseconds kPatience{1500};
    // An open that has taken this long is a slow one: the other ports get helpers.
    static constexpr std::chrono::milliseconds kHelpAfter{20};
    // A survey still waiting this long after it started wakes its user for its rows, and
    // again for its answers as they come; a quicker one wakes its user once, when it ends.
    static constexpr std::chrono::milliseconds kShowAfter{50};

    struct Options {
        unsigned probesAtOnce = kProbesAtOnce;
        std::chrono::milliseconds patience = kPatience;
        CallPool* pool = nullptr;  // none: the process's
    };

    struct News {
        // The latest rows read, with every answer and holder so far; nothing before a list
        // was first read. A survey whose list could not be read, or that gave up before it
        // came, leaves the rows of the one before.
        std::optional<PortRows> rows;
        unsigned rowsSurvey = 0;  // the survey the rows come from, counted from 1
        unsigned survey = 0;      // the latest survey started
        bool finished = false;    // no survey is in flight
    };

    SurveyEngine(SurveyStages stages, Wake wake);
    SurveyEngine(SurveyStages stages, Wake wake, Options options);
    // Never waits: threads still inside a stage end on their own, and wake no one.
    ~SurveyEngine();
    SurveyEngine(const SurveyEngine&) = delete;
    SurveyEngine& operator=(const SurveyEngine&) = delete;

    // Starts a survey; false, and nothing started, while one is in flight. Without a thread
    // to run it on, it runs here and has finished on return.
    bool Start();
    bool InFlight() const;
    // Devices came or went: the next survey reads their facts afresh, and no answer of an
    // earlier probe serves its rows.
    void Forget();
    // The state of things; the next news wakes the user again.
    News Take();
    // Waits for the survey in flight to finish, at most the timeout; true once none is.
    bool WaitFinished(std::chrono::milliseconds timeout) const;

    // What the engine's threads share; theirs alone.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

// How long a console survey may take: a Bluetooth port takes about 2.5 s to fail its open, and
// the holder lookup after it needs time too, while a script should not wait much longer.
constexpr std::chrono::milliseconds kConsoleDeadline{4000};

// The patience of an engine that serves SurveyWithin: the probes get three quarters of the
// deadline, the holder lookup the rest.
constexpr std::chrono::milliseconds ConsolePatience(std::chrono::milliseconds deadline) {
    return deadline * 3 / 4;
}

// One survey of `engine`, ended by the deadline whatever it waits for: a port still pending is
// "unknown" for want of an answer, and a busy port whose holders did not come in time has
// holders that could not be looked up. Nothing when the list could not be read in time. The
// threads still at work are left to the engine: the caller may end at once.
std::optional<PortRows> SurveyWithin(SurveyEngine& engine,
                                     std::chrono::milliseconds deadline = kConsoleDeadline);
