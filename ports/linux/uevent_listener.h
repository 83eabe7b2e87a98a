// The kernel's device events (its uevent netlink group), which need no udevd: the kernel sends
// them itself, after the device's sysfs entries and its devtmpfs node are made or removed.
// Inotify on /dev would see only the node, and only where /dev is devtmpfs.
#pragma once

#include <string>

#include "base/unique_handle.h"

class UeventListener {
public:
    UeventListener();
    // To poll for reading; -1 when the kernel's events cannot be had (Problem says why).
    int Fd() const { return m_socket.Get(); }
    const std::string& Problem() const { return m_problem; }
    // Takes every event waiting; true when one was of a tty, or when events were lost.
    bool TakeTtyEvents();

private:
    UniqueFd m_socket;
    std::string m_problem;
};
