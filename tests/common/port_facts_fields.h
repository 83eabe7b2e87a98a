// Device facts as a list of texts, so that a failed comparison shows every field.
#pragma once

#include <string>
#include <vector>

#include "ports/model/port_facts.h"

using FactFields = std::vector<std::string>;

// description, manufacturer, hardwareId, vid, pid, serial, bus, location, driver, usbInterface
inline FactFields FieldsOf(const PortFacts& f) {
    return {f.description, f.manufacturer, f.hardwareId, f.vid,    f.pid,
            f.serial,      f.bus,          f.location,   f.driver, f.usbInterface};
}

inline const FactFields kNoFacts(10);

// An FTDI USB adapter's facts, every field known: the first interface of its device.
inline PortFacts FtdiAdapterFacts() {
    return {"USB Serial Port",
            "FTDI",
            "USB\\VID_0403&PID_6001",
            "0403",
            "6001",
            "A1B2C3",
            "usb",
            "1-1.2:1.0",
            "ftdi_sio",
            "00"};
}
