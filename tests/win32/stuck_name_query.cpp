#include "tests/win32/stuck_name_query.h"

#include <atomic>
#include <string>

#include <winternl.h>

#include "base/win32_handles.h"

namespace {

const KernelHandle& Released() {
    static const KernelHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return event;
}

std::atomic<long> stuck{0};

LONG NTAPI HangingOnPorts(HANDLE handle, ULONG what, void* buffer, ULONG bytes, ULONG* needed) {
    const LONG status = SystemNameQuery(handle, what, buffer, bytes, needed);
    if (NamesAPort(status, buffer)) {
        ++stuck;
        ::WaitForSingleObject(Released().Get(), INFINITE);
        --stuck;
    }
    return status;
}

}  // namespace

LONG NTAPI SystemNameQuery(HANDLE handle, ULONG what, void* buffer, ULONG bytes, ULONG* needed) {
    static const auto query = reinterpret_cast<HandleNameQuery>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    return query(handle, what, buffer, bytes, needed);
}

bool NamesAPort(LONG status, const void* buffer) {
    const auto* name = static_cast<const UNICODE_STRING*>(buffer);
    return status >= 0 && name->Buffer &&
           std::wstring(name->Buffer, name->Length / sizeof(WCHAR)).find(L"\\dev\\pts\\") !=
               std::wstring::npos;
}

void StickNameQueriesOfPorts() {
    ::ResetEvent(Released().Get());
    UseHandleNameQuery(HangingOnPorts);
}

long StuckNameQueries() { return stuck; }

void ReleaseStuckNameQueries() {
    ::SetEvent(Released().Get());
    UseHandleNameQuery(nullptr);
}
