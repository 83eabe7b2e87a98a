// Port names every platform's tests can rely on: one that opens, one that does not exist.
#pragma once

#ifdef _WIN32
constexpr char kAvailablePort[] = "NUL";
constexpr char kMissingPort[] = "COM199";
#else
constexpr char kAvailablePort[] = "/dev/null";
constexpr char kMissingPort[] = "/dev/portlook-no-such-port";
#endif
