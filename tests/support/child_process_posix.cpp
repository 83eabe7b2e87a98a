#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads what comes on either output until one of them gives text or ends, or the time is up;
// false when both have ended or the time is up. An output that ended is closed.
bool ReadSome(UniqueFd& out, UniqueFd& error, std::string& outText, std::string& errorText,
              Clock::time_point end) {
    UniqueFd* const ends[] = {&out, &error};
    std::string* const texts[] = {&outText, &errorText};
    while (out.IsValid() || error.IsValid()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        // poll leaves out negative descriptors.
        pollfd ready[] = {{out.Get(), POLLIN, 0}, {error.Get(), POLLIN, 0}};
        const int count = ::poll(ready, 2, static_cast<int>(left.count()));
        if (count < 0 && errno != EINTR) return false;
        bool came = false;
        for (int i = 0; i < 2 && count > 0; ++i) {
            if (ready[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(ready[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ends[i]->Reset();
            }
            came = true;
        }
        if (came) return true;
    }
    return false;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, ChildOptions options) {
    int out[2] = {-1, -1};
    int error[2] = {-1, -1};
    const bool piped =
        !options.captureOutput || (::pipe2(out, O_CLOEXEC) == 0 && ::pipe2(error, O_CLOEXEC) == 0);
    m_out.Reset(out[0]);
    m_error.Reset(error[0]);
    UniqueFd outWrite(out[1]);
    UniqueFd errorWrite(error[1]);
    if (!piped) return;
    std::vector<std::string> arguments = std::move(options.arguments);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        const int output = options.outputFd >= 0 ? options.outputFd : outWrite.Get();
        if ((output >= 0 && ::dup2(output, STDOUT_FILENO) < 0) ||
            (errorWrite.IsValid() && ::dup2(errorWrite.Get(), STDERR_FILENO) < 0)) {
            ::_exit(127);
        }
        if (options.prepare && !options.prepare()) ::_exit(kChildNotPrepared);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

bool ChildProcess::Started() const { return m_pid > 0; }

bool ChildProcess::IsRunning() const {
    siginfo_t info{};
    // WNOWAIT leaves the end for Finish to read.
    return m_pid > 0 &&
           ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

bool ChildProcess::Signal(int signal) const { return m_pid > 0 && ::kill(m_pid, signal) == 0; }

std::string ChildProcess::ReadLine(std::chrono::milliseconds patience) {
    const Clock::time_point end = Clock::now() + patience;
    for (;;) {
        const size_t found = m_pending.find('\n');
        if (found != std::string::npos) {
            std::string line = m_pending.substr(0, found);
            m_pending.erase(0, found + 1);
            return line;
        }
        if (!m_out.IsValid() || !ReadSome(m_out, m_error, m_pending, m_errorText, end)) return {};
    }
}

ChildRun ChildProcess::Finish(std::chrono::milliseconds patience) {
    ChildRun run;
    if (m_pid <= 0) return run;
    const Clock::time_point end = Clock::now() + patience;
    while (ReadSome(m_out, m_error, m_pending, m_errorText, end)) {
    }
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < end) {
        ::usleep(10000);
    }
    if (ended == 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    } else {
        run.ended = ended == m_pid;
        if (run.ended && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    }
    m_pid = -1;
    m_out.Reset();
    m_error.Reset();
    run.out = std::move(m_pending);
    run.error = std::move(m_errorText);
    return run;
}

ChildRun RunChild(const std::string& program, ChildOptions options,
                  std::chrono::milliseconds patience) {
    ChildProcess child(program, std::move(options));
    return child.Finish(patience);
}
