// Who uses each port, told without opening any port node: opening a tty raises DTR and RTS and
// its last close drops them, which resets boards wired for auto-reset. Linux enforces no
// exclusive open either, so an open that succeeds says nothing about a program holding the
// port with a plain open. The scan reads the open files of /proc, the locks of /proc/locks
// and UUCP lock files instead.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/engine/call_pool.h"
#include "ports/engine/port_probe.h"
#include "ports/model/port_holder.h"
#include "ports/model/port_reason.h"
#include "ports/model/port_row.h"
#include "ports/model/port_status.h"

struct PortUsage {
    PortStatus status = PortStatus::Unknown;
    // Busy: Locked before LockFile before Held, the strongest claim seen; NoPermission only
    // when nobody is seen using it. A TIOCEXCL holder shows as Held: telling it apart takes
    // an open. Unknown: NoAnswer, the processes could not all be looked at.
    PortReason reason = PortReason::None;
    // Visible: it has the node open, holds a POSIX lock or a flock and the node, or a lock
    // file names it. Not visible: a process that could not be inspected, listed only for a
    // busy port with no visible holder.
    PortHolders holders;
    bool holdersComplete = false;  // every process was inspected, in time
    // Busy with nobody named, who could not be looked up: the scan ended before it came to
    // the holder, or a lock file could not be read.
    bool holdersUnknown = false;
    bool staleLockFile = false;  // a lock file names a process that is gone
    std::string group;           // no permission: the node's group, when its members may open it
};

struct PortUsageScan {
    std::vector<PortUsage> ports;  // in the order asked
    bool processesListed = false;  // false: the process list could not be read at all
    PortHolders hidden;            // the processes whose open files this user may not see
};

// Where the scan looks; tests point it at trees of their own.
struct PortUsagePlaces {
    std::string procDir = "/proc";
    std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};
};

// One pass over the processes for every port. The deadline is checked between processes; the
// ports no holder was found for by then are Unknown.
PortUsageScan ScanPortUsage(const std::vector<std::string>& ports, const PortUsagePlaces& places,
                            std::chrono::steady_clock::time_point deadline);

// "no permission: join group dialout", "stale lock file", else the reason's key; empty when
// there is nothing to say.
std::string UsageText(const PortUsage& usage);

// How long the scan may look at processes; the pool waits for it twice as long.
constexpr std::chrono::milliseconds kScanDeadline{1000};

// The scan on a thread of the pool: a call into the system that never returns (a descriptor on
// a hung network mount) costs one given-up thread, not the caller. When the pool has no thread
// to give, the scan runs on the caller's: it is bounded by its deadline. Nothing when the scan
// itself got stuck.
std::optional<PortUsageScan> ScanPortUsagePatiently(const std::vector<std::string>& ports,
                                                    const PortUsagePlaces& places,
                                                    CallPool& pool = CallPool::Process());

// The probe of a survey that opens nothing: NotFound when the node is gone, else Unknown with
// no answer yet, for UsageStage to tell.
ProbeResult ProbeNodePresence(const char* portName);

// The survey stage that tells every row's status, reason and holders from one scan.
std::function<void(PortRows& rows)> UsageStage(PortUsagePlaces places = PortUsagePlaces());
