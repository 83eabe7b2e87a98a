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
    bool tty = false;
    char message[8192];
    for (;;) {
        const ssize_t got = ::recv(m_socket.Get(), message, sizeof message, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        // "add@/devices/...", then NUL-separated KEY=VALUE lines.
        for (size_t at = 0; at < static_cast<size_t>(got);) {
            const char* line = message + at;
            const size_t length = ::strnlen(line, static_cast<size_t>(got) - at);
            if (length == 13 && std::memcmp(line, "SUBSYSTEM=tty", 13) == 0) tty = true;
            at += length + 1;
        }
    }
    return tty;
}
