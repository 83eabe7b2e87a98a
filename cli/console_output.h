// Standard output and error for UTF-8 text: a Windows console is given characters, anything
// else (a pipe, a file, a Linux terminal) the bytes.
#pragma once

#include <string>

enum class Written {
    All,
    ReaderGone,  // the pipe's or socket's reader has left, as `portlook --json | head -1` does
    Failed,      // anything else, such as a full disk
};

// On Linux a write to a pipe whose reader has left fails instead of killing the program with
// SIGPIPE; Windows has no such signal. Call before any thread starts.
void KeepRunningWhenReaderLeaves();

Written WriteToStandardOutput(const std::string& utf8);
// False when not all of the text could be written.
bool WriteToStandardError(const std::string& utf8);
