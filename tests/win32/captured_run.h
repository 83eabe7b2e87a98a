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
