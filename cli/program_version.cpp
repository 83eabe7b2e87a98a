#include "cli/program_version.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

std::string ProgramVersion() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return std::string();
    std::vector<BYTE> info(size);
    if (!::GetFileVersionInfoA(path, 0, size, info.data())) return std::string();
    void* value = nullptr;
    UINT valueSize = 0;
    if (!::VerQueryValueA(info.data(), "\\", &value, &valueSize) ||
        valueSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::string();
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + '.' +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + '.' +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + '.' +
           std::to_string(LOWORD(fixed->dwFileVersionLS));
}
#else
#ifndef PORTLOOK_VERSION
#error "the build defines PORTLOOK_VERSION"
#endif

std::string ProgramVersion() { return PORTLOOK_VERSION; }
#endif
