// The watch's waits on Linux: poll over the kernel's device events, a signalfd for SIGINT
// and SIGTERM, and standard output, whose pipe reports an error, and whose socket a hang-up,
// once its reader is gone.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "cli/port_watch.h"
#include "ports/linux/uevent_listener.h"

struct WatchWake::State {
    UeventListener devices;
    UniqueFd stops;
};

WatchWake::WatchWake(bool catchStop) : m_state(std::make_unique<State>()) {
    if (!catchStop) return;
    // Blocked before any thread starts, so that every thread leaves them to the signalfd.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &stops, nullptr) == 0) {
        m_state->stops.Reset(::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));
    }
}

WatchWake::~WatchWake() = default;

std::string WatchWake::Problem() const { return m_state->devices.Problem(); }

WatchWake::Reason WatchWake::Wait(std::chrono::milliseconds most) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + most;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return Reason::Interval;
        // Negative descriptors are left out; events 0 still reports an error or a hang-up. A
        // closed standard output is left out too, or poll would report it at once for ever;
        // the next write says it.
        const int output = ::fcntl(STDOUT_FILENO, F_GETFD) >= 0 ? STDOUT_FILENO : -1;
        pollfd ends[] = {
            {m_state->stops.Get(), POLLIN, 0}, {output, 0, 0}, {m_state->devices.Fd(), POLLIN, 0}};
        const int ready = ::poll(ends, 3, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return Reason::Interval;
        if (ready <= 0) continue;
        if (ends[0].revents & POLLIN) return Reason::Stop;
        if (ends[1].revents & (POLLERR | POLLHUP)) return Reason::ReaderGone;
        if ((ends[2].revents & POLLIN) && m_state->devices.TakeTtyEvents()) return Reason::Devices;
    }
}
