#include "ports/linux/uevent_listener.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <sys/socket.h>

UeventListener::UeventListener() {
    m_socket.Reset(
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own; udevd re-sends its processed events to group 2
    if (!m_socket.IsValid() ||
        ::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        m_problem = std::string("no device notifications (netlink: ") + std::strerror(errno) + ")";
        m_socket.Reset();
    }
}

bool UeventListener::TakeTtyEvents() {
    bool changed = false;
    char message[8192];
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t got = ::recvfrom(m_socket.Get(), message, sizeof message, 0,
                                       reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (got < 0 && errno == EINTR) continue;
        // Events were lost while the queue was full: any device may have come or gone.
        if (got < 0 && errno == ENOBUFS) {
            changed = true;
            continue;
        }
        if (got <= 0) break;
        // Only the kernel speaks for devices; any process may send to our socket.
        if (senderLength != sizeof sender || sender.nl_pid != 0) continue;
        // "add@/devices/...", then NUL-separated KEY=VALUE lines.
        for (size_t at = 0; at < static_cast<size_t>(got);) {
            const char* line = message + at;
            const size_t length = ::strnlen(line, static_cast<size_t>(got) - at);
            if (length == 13 && std::memcmp(line, "SUBSYSTEM=tty", 13) == 0) changed = true;
            at += length + 1;
        }
    }
    return changed;
}
