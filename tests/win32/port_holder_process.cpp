#include "tests/win32/port_holder_process.h"

#include <algorithm>
#include <cctype>

#include "tests/support/serial_comm_key.h"

namespace {

constexpr DWORD kHoldWait = 20000;

}  // namespace

PortHolderProcess::PortHolderProcess(const std::string& port, bool hidden) {
    // Unique while this lives.
    const std::string ready = "portlook-holder-" + std::to_string(::GetCurrentProcessId()) + "-" +
                              std::to_string(reinterpret_cast<UINT_PTR>(this));
    const KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
    if (!event.IsValid()) return;
    ChildOptions options{{port, ready}, false};
    if (hidden) options.arguments.push_back("hidden");
    m_program = std::make_unique<ChildProcess>(PORTLOOK_PORT_HOLDER, options);
    const HANDLE waits[] = {event.Get(), m_program->Handle()};
    m_holds = m_program->IsRunning() &&
              ::WaitForMultipleObjects(2, waits, FALSE, kHoldWait) == WAIT_OBJECT_0;
}

PortMadeBusy::PortMadeBusy(const std::string& port) {
    // Wine takes the write permissions off the file behind a read-only path; the link in the
    // prefix leads to the port's terminal.
    std::string prefix = EnvironmentValue("PORTLOOK_WINEPREFIX");
    if (prefix.empty()) return;
    std::replace(prefix.begin(), prefix.end(), '/', '\\');
    std::string link = port;
    std::transform(link.begin(), link.end(), link.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    m_node = "Z:" + prefix + "\\dosdevices\\" + link;
    m_done = ::SetFileAttributesA(m_node.c_str(), FILE_ATTRIBUTE_READONLY) != FALSE;
}

PortMadeBusy::~PortMadeBusy() {
    if (m_done) ::SetFileAttributesA(m_node.c_str(), FILE_ATTRIBUTE_NORMAL);
}
