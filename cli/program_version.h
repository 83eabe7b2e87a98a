// The program's version, "1.0.0.1".
#pragma once

#include <string>

// On Windows read from the program's own version resource, elsewhere as the build states it.
// Empty when it cannot be read.
std::string ProgramVersion();
