// The system's own list of serial ports: the registry's on Windows, sysfs elsewhere.
#pragma once

#ifdef _WIN32
#include "ports/win32/registry_port_source.h"
using SystemPortSource = RegistryPortSource;
#else
#include "ports/linux/sysfs_port_source.h"
using SystemPortSource = SysfsPortSource;
#endif
