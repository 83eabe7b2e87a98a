#include "ports/model/port_facts_text.h"

namespace {

void AddLine(std::string& text, const char* label, const std::string& value) {
    if (value.empty()) return;
    if (!text.empty()) text += '\n';
    text += label;
    text += value;
}

// The bus as people write it: "USB", "Bluetooth", "platform".
std::string BusText(const std::string& bus) {
    if (bus == "bluetooth") return "Bluetooth";
    if (bus != "usb" && bus != "pci" && bus != "acpi") return bus;
    std::string upper;
    for (const char c : bus) upper += static_cast<char>(c - 'a' + 'A');
    return upper;
}

}  // namespace

std::string DescribePortFacts(const PortFacts& facts) {
    std::string hardware = facts.hardwareId;
    if (!facts.vid.empty() && !facts.pid.empty()) {
        const std::string ids = "vendor " + facts.vid + ", product " + facts.pid;
        hardware = hardware.empty() ? ids : hardware + " (" + ids + ")";
    }
    std::string text;
    AddLine(text, "Manufacturer: ", facts.manufacturer);
    AddLine(text, "Hardware ID: ", hardware);
    AddLine(text, "Serial number: ", facts.serial);
    AddLine(text, "Bus: ", BusText(facts.bus));
    AddLine(text, "Location: ", facts.location);
    return text;
}
