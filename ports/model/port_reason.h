// Why a port has its status: what made it busy, or why it could not be told. Scripts read the
// key, so the keys never change.
#pragma once

enum class PortReason : int {
    None = 0,      // available, or nothing more to say
    Held,          // another process has the port open
    Locked,        // someone holds a lock on it (flock, POSIX or OFD)
    LockFile,      // a UUCP lock file names a live process
    Exclusive,     // the holder made its open exclusive
    NoPermission,  // this user may not open it
    OpenFailed,    // the open failed for another reason
    NoAnswer,      // no answer came in time
    NotPresent,    // its device is gone
    Reserved       // a number the system keeps for a device it no longer knows
};

// "held", "locked", "lock file", "exclusive", "no permission", "open failed", "no answer",
// "not present", "reserved"; null for None.
const char* ReasonKey(PortReason reason);
