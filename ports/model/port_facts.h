// What is known of the device behind a port, beyond its names. Every field may be empty: only
// the facts the system gives are filled in.
#pragma once

#include <string>

struct PortFacts {
    std::string description;   // what the system calls the device ("USB Serial Port")
    std::string manufacturer;  // its maker, as the device or its driver reports it
    std::string hardwareId;    // the first hardware id ("USB\VID_0403&PID_6001"); Linux: modalias
    std::string vid;           // USB vendor id, four lower-case hex digits ("0403")
    std::string pid;           // USB product id, likewise
    std::string serial;        // serial number, where the device carries one
    // The bus scripts select by: "usb", "pci", "bluetooth", "platform", "acpi" or "virtual".
    std::string bus;
    std::string location;      // where it is attached, as the system describes it ("1-1.2:1.0")
    std::string driver;        // the driver serving it
    std::string usbInterface;  // a USB function's interface number, two lower-case hex digits
    // Names that last (Linux): the udev link under /dev/serial/by-id (by serial number) and
    // under /dev/serial/by-path (by socket) that leads to the port's node.
    std::string byId{};
    std::string byPath{};
};
