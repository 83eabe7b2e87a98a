// Ports of this run held by other programs, and made busy for the probe.
#pragma once

#include <memory>
#include <string>

#include "base/win32_handles.h"
#include "tests/support/child_process.h"

// The helper program holding a port, started and waited for until it holds it.
class PortHolderProcess {
public:
    static constexpr char kProgramName[] = "portlook_port_holder.exe";

    explicit PortHolderProcess(const std::string& port, bool hidden = false);
    bool Holds() const { return m_holds; }
    DWORD Id() const { return m_program ? m_program->Id() : 0; }

private:
    std::unique_ptr<ChildProcess> m_program;
    bool m_holds = false;
};

// While this lives, the port's terminal takes no more writers: a holder keeps what it has,
// and the probe's open is refused as it is for a port held on Windows.
class PortMadeBusy {
public:
    explicit PortMadeBusy(const std::string& port);
    ~PortMadeBusy();
    PortMadeBusy(const PortMadeBusy&) = delete;
    PortMadeBusy& operator=(const PortMadeBusy&) = delete;
    bool Done() const { return m_done; }

private:
    std::string m_node;  // the port's link in the prefix, as a Windows path
    bool m_done = false;
};
