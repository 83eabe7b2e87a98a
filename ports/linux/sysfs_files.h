// Small reads of the sysfs tree that the port list and the device facts share.
#pragma once

#include <string>
#include <vector>

// The entries of a directory, without "." and ".."; *opened says whether it could be read.
std::vector<std::string> ListDirectory(const std::string& path, bool* opened);

// Whether anything, a dangling link included, is at the path.
bool PathExists(const std::string& path);

// The path with every link resolved, or empty when it leads nowhere.
std::string RealPath(const std::string& path);

std::string BaseName(const std::string& path);

// The first line of a small attribute file without its line end, or empty.
std::string ReadAttribute(const std::string& path);

std::string ParentPath(const std::string& path);

// The bus a device of /sys/devices is on ("usb", "pnp"), from its subsystem link.
std::string Subsystem(const std::string& device);

// Since kernel 6.5 a serial-core tty hangs from a "serial-base" port below a "serial-base"
// controller; the hardware is the first ancestor outside that bus.
std::string HardwareDevice(std::string device);

// The 8250 driver registers ttyS0..n whether or not a UART answers; those read type 0.
bool IsPlaceholderTty(const std::string& ttyDir);
