// Pseudo-terminals standing in for ports, and child processes that hold them in each of the
// ways programs do, so that the test itself is never the holder.
#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "base/unique_handle.h"
#include "ports/engine/port_survey.h"
#include "tests/support/child_process.h"

// A pseudo-terminal whose terminal side nobody has open yet.
class Terminal {
public:
    explicit Terminal(mode_t mode) : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (!m_master.IsValid() || ::grantpt(m_master.Get()) != 0 ||
            ::unlockpt(m_master.Get()) != 0) {
            return;
        }
        const char* name = ::ptsname(m_master.Get());
        if (name && ::chmod(name, mode) == 0) m_path = name;
    }
    const std::string& Path() const { return m_path; }
    PortRow Row() const { return PortRow{"pty", m_path, PortStatus::Busy}; }

private:
    UniqueFd m_master;
    std::string m_path;
};

// How a holder holds the port: a plain open, a lock of its own, one of its open file
// description (/proc/locks shows it without a process), TIOCEXCL, a flock left to a child
// when the locker exits, or no open at all (a lock file names it).
enum class Lock { None, Flock, FlockShared, OpenFile, Posix, Exclusive, FlockThenFork, NotOpen };

inline bool TakeLock(int fd, Lock lock) {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    switch (lock) {
        case Lock::Flock:
        case Lock::FlockThenFork:
            return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        case Lock::FlockShared:
            return ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        case Lock::OpenFile:
            return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
        case Lock::Posix:
            return ::fcntl(fd, F_SETLK, &range) == 0;
        case Lock::Exclusive:
            return ::ioctl(fd, TIOCEXCL) == 0;
        default:
            return true;
    }
}

// A child process that opens the port, locks it if asked, and holds it until this ends.
class Holder {
public:
    Holder(const std::string& port, const char* name, Lock lock) {
        int ready[2] = {-1, -1};
        int stay[2] = {-1, -1};
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(stay, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_NAME, name);
            ::close(stay[1]);
            const int fd = lock == Lock::NotOpen ? -1 : ::open(port.c_str(), O_RDWR | O_NOCTTY);
            const bool held = lock == Lock::NotOpen || (fd >= 0 && TakeLock(fd, lock));
            if (held && lock == Lock::FlockThenFork) {
                const pid_t child = ::fork();
                if (child != 0) ::_exit(child > 0 ? 0 : 1);  // the locker leaves, its child holds
            }
            const int holder = held ? ::getpid() : 0;
            if (::write(ready[1], &holder, sizeof holder) == sizeof holder) {
                // Asked to run another program: cat, which keeps the port open until this ends.
                for (char end = 0; ::read(stay[0], &end, 1) > 0;) {
                    if (::dup2(stay[0], STDIN_FILENO) == 0) ::execl("/bin/cat", "cat", nullptr);
                }
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        m_stay.Reset(stay[1]);
        int holder = 0;
        if (m_pid > 0 && ::read(ready[0], &holder, sizeof holder) == sizeof holder) {
            m_holder = holder;
        }
        ::close(ready[0]);
        if (lock == Lock::FlockThenFork && m_pid > 0) {
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    ~Holder() {
        m_stay.Reset();
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
    }
    bool Holds() const { return m_holder > 0; }
    bool RunCat() const { return ::write(m_stay.Get(), "x", 1) == 1; }
    // The process that holds the port: for FlockThenFork the locker's child.
    unsigned long Pid() const { return static_cast<unsigned long>(m_holder); }

private:
    pid_t m_pid = -1;
    int m_holder = 0;
    UniqueFd m_stay;
};

// What `run` returns, run in a child process once `prepare` succeeded there, within 30 s.
// Nothing when the child failed.
inline std::optional<std::string> InChild(const std::function<bool()>& prepare,
                                          const std::function<std::string()>& run) {
    ChildOptions options;
    // The child ends here, never running the program.
    options.prepare = [&] {
        if (!prepare()) return false;
        const std::string text = run();
        const auto size = static_cast<ssize_t>(text.size());
        ::_exit(::write(STDOUT_FILENO, text.data(), text.size()) == size ? 0 : 1);
    };
    const ChildRun child = RunChild("/bin/false", std::move(options));
    return child.exitCode == 0 ? std::optional<std::string>(child.out) : std::nullopt;
}

// Gives up root for nobody: root opens a port whatever its mode and whoever holds it.
inline bool BecomeNobody() {
    constexpr uid_t kNobody = 65534;
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
            ::setresuid(kNobody, kNobody, kNobody) == 0);
}

// What `run` returns, run in a child process that is nobody when this is root.
inline std::optional<std::string> AsNobody(const std::function<std::string()>& run) {
    return InChild(BecomeNobody, run);
}
