// A program a test runs as a process of its own, the one way every suite starts one: its
// standard output read line by line as it comes or whole at its end, its standard error
// collected, and every wait bounded, so that a program that never ends fails the test instead
// of holding the run.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "base/win32_handles.h"
#else
#include <sys/types.h>

#include "base/unique_handle.h"
#endif

struct ChildOptions {
    // Each element is one argument; the Windows half quotes them into a command line.
    std::vector<std::string> arguments;
    // Standard output and error through pipes this reads; otherwise the test's own.
    bool captureOutput = true;
#ifdef _WIN32
    // A console of its own, which a test can attach to and read as a user sees it.
    bool ownConsole = false;
#else
    // Runs in the child before exec, its outputs already in place (a namespace, a limit, a
    // user); false ends the child with kChildNotPrepared.
    std::function<bool()> prepare;
    // Standard output goes here instead of a pipe (a full disk, a reader that left).
    int outputFd = -1;
#endif
};

// How a program ended. `ended` is false when it was still running when the time was up (it is
// killed then) or could not be started; `exitCode` is then -1, as it is for a program a signal
// ended.
struct ChildRun {
    bool ended = false;
    int exitCode = -1;
    std::string out;
    std::string error;
};

#ifndef _WIN32
constexpr int kChildNotPrepared = 126;
#endif

class ChildProcess {
public:
    explicit ChildProcess(const std::string& program, ChildOptions options = {});
    ~ChildProcess();  // kills the program if it still runs, and waits for its end
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const;
    bool IsRunning() const;
    // The next line of standard output, without its line end; empty when none came within
    // `patience` or the output ended. Standard error is drained meanwhile, so a program that
    // writes much there never blocks.
    std::string ReadLine(std::chrono::milliseconds patience);
    // Waits at most `patience` for the end, collecting the rest of both outputs; a program that
    // still runs then is killed and reported as not ended.
    ChildRun Finish(std::chrono::milliseconds patience);
#ifdef _WIN32
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process.Get(); }
    // Its first thread, whose message loop a test can end.
    DWORD ThreadId() const { return m_threadId; }
#else
    pid_t Id() const { return m_pid; }
    // Sends a signal (SIGTERM, say); the end is still read by Finish.
    bool Signal(int signal) const;
#endif

private:
#ifdef _WIN32
    KernelHandle m_process;
    KernelHandle m_out;
    KernelHandle m_error;
    DWORD m_id = 0;
    DWORD m_threadId = 0;
#else
    pid_t m_pid = -1;
    UniqueFd m_out;
    UniqueFd m_error;
#endif
    std::string m_pending;  // output read but not yet returned as a line
    std::string m_errorText;
};

// Runs a program to its end, waiting at most `patience`.
ChildRun RunChild(const std::string& program, ChildOptions options = {},
                  std::chrono::milliseconds patience = std::chrono::seconds(30));
