// Standard output and error for UTF-8 text: a Windows console is given characters, anything
// else (a pipe, a file, a Linux terminal) the bytes.
#pragma once

#include <string>

// Each is false when not all of the text could be written.
bool WriteToStandardOutput(const std::string& utf8);
bool WriteToStandardError(const std::string& utf8);
