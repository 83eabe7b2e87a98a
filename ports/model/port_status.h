// The outcome of trying to open a port, and its display text.
#pragma once

#include <cstdint>

enum class PortStatus : int { Available = 0, NotFound = 1, Busy = 2, Unknown = 3 };

// One of four constant texts; the caller neither owns nor frees it.
const char* StatusText(PortStatus status);

// Every platform's probe states a failed open in Win32 error codes, so that one rule reads
// them all.
constexpr std::uint32_t kOpenErrorFileNotFound = 2;
constexpr std::uint32_t kOpenErrorAccessDenied = 5;
constexpr std::uint32_t kOpenErrorGenFailure = 31;

PortStatus StatusFromOpenError(std::uint32_t error);
