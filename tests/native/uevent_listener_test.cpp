// The device events a watch relies on: only the kernel's count, and events lost to a full queue
// count as a change. Played in a network namespace of the test's own, where the kernel sends
// nothing and the test may send to the kernel's group.
#include <gtest/gtest.h>

#include <linux/netlink.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>

#include "ports/linux/uevent_listener.h"
#include "tests/native/holder_process.h"

namespace {

constexpr char kTtyEvent[] = "add@/devices/virtual/tty/ttyX\0ACTION=add\0SUBSYSTEM=tty";

// Sends a tty event from a process, to one socket or to the kernel's group; false when it
// could not be sent.
bool SendEvent(int sender, unsigned portId, unsigned group) {
    sockaddr_nl to{};
    to.nl_family = AF_NETLINK;
    to.nl_pid = portId;
    to.nl_groups = group;
    return ::sendto(sender, kTtyEvent, sizeof kTtyEvent, MSG_DONTWAIT,
                    reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0;
}

TEST(UeventListener, HearsOnlyTheKernelAndTakesLostEventsAsAChange) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, for a network namespace of its own";
    const std::optional<std::string> heard = InChild(
        [] { return ::unshare(CLONE_NEWNET) == 0; },
        [] {
            UeventListener listener;
            const UniqueFd sender(::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT));
            sockaddr_nl self{};
            socklen_t length = sizeof self;
            if (listener.Fd() < 0 || !sender.IsValid() ||
                ::getsockname(listener.Fd(), reinterpret_cast<sockaddr*>(&self), &length) != 0) {
                return std::string("no sockets");
            }
            std::string seen;
            // A process's event straight to the listener, then one to the kernel's group.
            seen += SendEvent(sender.Get(), self.nl_pid, 0) ? "sent " : "unsent ";
            seen += listener.TakeTtyEvents() ? "heard " : "ignored ";
            seen += SendEvent(sender.Get(), 0, 1) ? "sent " : "unsent ";
            seen += listener.TakeTtyEvents() ? "heard " : "ignored ";
            // More than the listener's queue holds.
            const int small = 1;
            ::setsockopt(listener.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            for (int event = 0; event < 1000; ++event) SendEvent(sender.Get(), 0, 1);
            seen += listener.TakeTtyEvents() ? "overflow" : "missed";
            return seen;
        });
    EXPECT_EQ(heard, "sent ignored sent ignored overflow");
}

}  // namespace
