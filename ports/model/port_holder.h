// Who holds a port open: a process, and the program it runs.
#pragma once

#include <string>
#include <vector>

struct PortHolder {
    unsigned long pid = 0;
    std::string name;       // the program's file name ("putty.exe", or a Linux process's comm)
    bool visible = true;    // false: a process this user may not inspect, so it may be the one
    bool nameKnown = true;  // false: its name could not be read, which is not an empty name
};
using PortHolders = std::vector<PortHolder>;
