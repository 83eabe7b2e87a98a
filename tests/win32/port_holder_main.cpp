// Another program that holds a serial port, for the tests of who holds a port:
//
//   portlook_port_holder.exe PORT READY [hidden]
//
// Opens PORT as a terminal program does, then sets the event named READY and waits to be ended.
// With "hidden", it first shuts everyone out of its process object, as a program of another
// user or an elevated one is shut away from an ordinary user's.
#include <aclapi.h>

#include <cstring>
#include <string>

#include "base/win32_handles.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string path = std::string("\\\\.\\") + argv[1];
    const FileHandle port(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!port.IsValid()) return 1;
    if (argc > 3 && std::strcmp(argv[3], "hidden") == 0) {
        ACL empty{};
        if (!::InitializeAcl(&empty, sizeof empty, ACL_REVISION) ||
            ::SetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &empty, nullptr) != ERROR_SUCCESS) {
            return 1;
        }
    }
    const KernelHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
    if (!ready.IsValid() || !::SetEvent(ready.Get())) return 1;
    ::Sleep(INFINITE);
    return 0;
}
