// Surveys run beside the caller. One thread, kept from survey to survey, reads the port list
// and probes the ports one after another, which is the least work when opens are quick. When
// an open takes long (a Bluetooth link trying to reach its device), helpers take the other
// ports, at most a few probes at once, so that a survey takes about as long as its slowest
// port. A survey waits for its answers only so long: a port whose open hangs stays pending,
// and while it is, no later survey probes it again. Its answer, whenever it comes, serves
// whoever shows that port. Once a survey has its answers, or has waited long enough, who holds
// its busy ports is looked up, once for all of them, and not at all when none is busy.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ports/engine/port_holders.h"
#include "ports/engine/port_survey.h"

class SurveyRunner {
public:
    using RowReader = std::function<std::optional<PortRows>()>;
    // Called on a worker thread when news waits to be taken; it must not block. Calls that
    // come before the news is taken are folded into one.
    using Wake = std::function<void()>;

    struct News {
        bool listRead = false;         // a survey read the port list...
        std::optional<PortRows> rows;  // ...and found these rows, not yet probed (none: unreadable)
        std::vector<std::pair<std::string, PortStatus>> answers;  // port and status, in order
        // The holders of the busy ports of the survey that finished, port by port; they come
        // with `finished`.
        std::vector<std::pair<std::string, PortHolders>> holders;
        bool finished = false;  // the survey in flight has its answers, or waited long enough
    };

    static constexpr unsigned kProbesAtOnce = 8;
    // Less than the continuous mode's period, so that a hanging port does not stop it.
    static constexpr std::chrono::milliseconds kPatience{1500};
    // An open that has taken this long is a slow one: the other ports get helpers.
    static constexpr std::chrono::milliseconds kHelpAfter{20};
    // A survey still waiting this long after it started shows its rows, and its answers as
    // they come; a quicker one is shown once, whole.
    static constexpr std::chrono::milliseconds kShowAfter{50};

    // The holder lookup runs on one of the survey's threads, never on the caller's.
    SurveyRunner(RowReader readRows, PortProbe probe, PortHolderLookup findHolders, Wake wake,
                 unsigned probesAtOnce = kProbesAtOnce,
                 std::chrono::milliseconds patience = kPatience);
    // Never waits for a probe: threads still inside one end on their own, touching nothing
    // but what they share with each other, and wake no one.
    ~SurveyRunner();
    SurveyRunner(const SurveyRunner&) = delete;
    SurveyRunner& operator=(const SurveyRunner&) = delete;

    // Starts a survey; false, and nothing started, while one is in flight.
    bool Start();
    bool InFlight() const;
    // Everything that happened since the last call.
    News Take();
    // Waits for the survey in flight to finish, at most the timeout; true once none is.
    bool WaitFinished(std::chrono::milliseconds timeout) const;

    // What the runner's threads share; theirs alone.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};
