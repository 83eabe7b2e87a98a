#include "ports/win32/wine_port_name.h"

#include <memory>
#include <vector>

#include "base/win32_handles.h"

namespace {

// Wine's mount manager reads a dosdevices link: given the link's NT name, it answers the
// unix path it points to, as bytes ending in a zero.
constexpr DWORD kWineReadSymbolicLink = CTL_CODE('m', 35, METHOD_BUFFERED, FILE_READ_ACCESS);
// A unix path and its terminator.
constexpr DWORD kUnixPathCapacity = 4097;

template <typename Function>
Function Export(const char* module, const char* name) {
    const HMODULE loaded = ::GetModuleHandleA(module);
    return loaded
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(loaded, name)))
               : nullptr;
}

struct HeapText {
    void operator()(WCHAR* text) const { ::HeapFree(::GetProcessHeap(), 0, text); }
};

}  // namespace

bool RunningUnderWine() { return Export<void*>("ntdll.dll", "wine_get_version") != nullptr; }

std::wstring WineHandleNameOfPort(const std::wstring& port) {
    using DosFileName = WCHAR*(CDECL*)(const char* unixPath);
    const auto dosFileName = Export<DosFileName>("kernel32.dll", "wine_get_dos_file_name");
    if (!RunningUnderWine() || !dosFileName) return std::wstring();
    const FileHandle manager(::CreateFileA("\\\\.\\MountPointManager", GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!manager.IsValid()) return std::wstring();
    const std::wstring link = L"\\??\\" + port;
    std::vector<char> target(kUnixPathCapacity, '\0');
    DWORD length = 0;
    if (!::DeviceIoControl(manager.Get(), kWineReadSymbolicLink, const_cast<wchar_t*>(link.data()),
                           static_cast<DWORD>(link.size() * sizeof(wchar_t)), target.data(),
                           kUnixPathCapacity - 1, &length, nullptr)) {
        return std::wstring();
    }
    // The device as Wine's drives see it: "Z:\dev\pts\3", or "\\?\unix\..." off every drive.
    const std::unique_ptr<WCHAR, HeapText> dosPath(dosFileName(target.data()));
    if (!dosPath) return std::wstring();
    std::wstring name = dosPath.get();
    if (name.compare(0, 4, L"\\\\?\\") == 0) name.erase(0, 4);
    return L"\\??\\" + name;
}
