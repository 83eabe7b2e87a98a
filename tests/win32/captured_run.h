// A console program run to its end by a test, its standard output and error read through
// pipes as a script would read them.
#pragma once

#include <string>

#include "base/win32_handles.h"

struct CapturedRun {
    bool ended = false;  // started, and ended within the time allowed
    DWORD exitCode = 0;
    std::string out;
    std::string error;
};

CapturedRun RunCaptured(const std::string& path, const std::string& arguments,
                        DWORD milliseconds = 30000);

// A console program that runs beside the test, its standard output read line by line as it
// comes; ended when the object ends.
class RunningProgram {
public:
    RunningProgram(const std::string& path, const std::string& arguments);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool IsRunning() const;
    // The next line without its line end; empty when none came within the time.
    std::string ReadLine(DWORD milliseconds);
    // Waits for the end; false when it still runs after `milliseconds`.
    bool WaitForExit(DWORD milliseconds, DWORD* exitCode);

private:
    KernelHandle m_process;
    KernelHandle m_out;
    std::string m_pending;
};
