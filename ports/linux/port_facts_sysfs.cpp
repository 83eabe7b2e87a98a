// Device facts from sysfs: a tty's device link leads into /sys/devices, where USB adapters
// keep their descriptor strings on the USB device above the tty.
#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "ports/linux/port_facts_sysfs.h"
#include "ports/linux/sysfs_files.h"

namespace {

// The bus of a device that is not on USB, from its subsystem. PNP serial ports are the
// firmware's: ACPI's on every machine that has it.
std::string BusOfSubsystem(const std::string& subsystem) {
    if (subsystem == "pci" || subsystem == "platform" || subsystem == "acpi") return subsystem;
    if (subsystem == "pnp") return "acpi";
    if (subsystem == "amba") return "platform";
    return {};
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct UsbPlace {
    std::string device;     // has idVendor and the descriptor strings
    std::string interface;  // its child on the way down to the tty; may be empty
};

// The nearest ancestor with idVendor is the USB device itself: hubs lie further up.
std::optional<UsbPlace> FindUsbDevice(const std::string& device) {
    std::string child;
    for (std::string dir = device; dir != "/" && BaseName(dir) != "devices";
         dir = ParentPath(dir)) {
        if (PathExists(dir + "/idVendor")) return UsbPlace{dir, child};
        child = dir;
    }
    return std::nullopt;
}

void AddUsbFacts(const UsbPlace& usb, PortFacts& facts) {
    facts.vid = ReadAttribute(usb.device + "/idVendor");
    facts.pid = ReadAttribute(usb.device + "/idProduct");
    facts.manufacturer = ReadAttribute(usb.device + "/manufacturer");
    facts.serial = ReadAttribute(usb.device + "/serial");
    facts.bus = "usb";
    // The interface names one function of a composite device, or of a multi-port adapter.
    const std::string product = ReadAttribute(usb.device + "/product");
    const std::string function =
        usb.interface.empty() ? std::string() : ReadAttribute(usb.interface + "/interface");
    if (function.empty() || function == product) {
        facts.description = product;
    } else {
        facts.description = product.empty() ? function : product + " - " + function;
    }
    const std::string& closest = usb.interface.empty() ? usb.device : usb.interface;
    facts.hardwareId = ReadAttribute(closest + "/modalias");
    facts.location = BaseName(closest);
    if (!usb.interface.empty()) {
        facts.usbInterface = LowerCase(ReadAttribute(usb.interface + "/bInterfaceNumber"));
    }
}

PortFacts DeviceFacts(const std::string& ttyDevice) {
    const std::string hardware = HardwareDevice(ttyDevice);
    PortFacts facts;
    facts.driver = BaseName(RealPath(hardware + "/driver"));
    if (const std::optional<UsbPlace> usb = FindUsbDevice(ttyDevice)) {
        AddUsbFacts(*usb, facts);
        return facts;
    }
    // A UART on the board, a PCI card or a platform device tells no description of its own;
    // its driver already names the device, and is not repeated as the description.
    facts.bus = BusOfSubsystem(Subsystem(hardware));
    facts.hardwareId = ReadAttribute(hardware + "/modalias");
    if (facts.hardwareId.empty()) facts.hardwareId = ReadAttribute(hardware + "/id");  // PNP0501
    facts.location = BaseName(hardware);
    return facts;
}

// udev's links in one directory, in order of name, each with the node it leads to.
using NodeLinks = std::vector<std::pair<std::string, std::string>>;

NodeLinks ReadNodeLinks(const std::string& dir) {
    std::vector<std::string> names = ListDirectory(dir, nullptr);
    std::sort(names.begin(), names.end());
    NodeLinks links;
    for (const std::string& name : names) {
        std::string node = RealPath(dir + "/" + name);
        if (!node.empty()) links.emplace_back(dir + "/" + name, std::move(node));
    }
    return links;
}

// The first link that leads to the node; empty for none.
std::string FirstLinkTo(const NodeLinks& links, const std::string& node) {
    const auto found = std::find_if(links.begin(), links.end(),
                                    [&node](const auto& link) { return link.second == node; });
    return node.empty() || found == links.end() ? std::string() : found->first;
}

}  // namespace

void FillLastingNames(PortRows& rows, const std::string& devDir) {
    const NodeLinks byId = ReadNodeLinks(devDir + "/serial/by-id");
    const NodeLinks byPath = ReadNodeLinks(devDir + "/serial/by-path");
    for (PortRow& row : rows) {
        const std::string node = RealPath(row.port);
        row.facts.byId = FirstLinkTo(byId, node);
        row.facts.byPath = FirstLinkTo(byPath, node);
    }
}

std::optional<PortFactsByPort> ReadPortFacts(const std::string& ttyClassDir,
                                             const std::string& devDir) {
    bool opened = false;
    const std::vector<std::string> ttys = ListDirectory(ttyClassDir, &opened);
    if (!opened) return std::nullopt;
    const NodeLinks byId = ReadNodeLinks(devDir + "/serial/by-id");
    const NodeLinks byPath = ReadNodeLinks(devDir + "/serial/by-path");
    PortFactsByPort facts;
    for (const std::string& tty : ttys) {
        const std::string ttyDir = ttyClassDir + "/" + tty;
        const std::string device = RealPath(ttyDir + "/device");
        if (device.empty() || IsPlaceholderTty(ttyDir)) continue;
        PortFacts& port = facts.emplace(devDir + "/" + tty, DeviceFacts(device)).first->second;
        // A link names the node, not the device: compare where both lead.
        const std::string node = RealPath(devDir + "/" + tty);
        port.byId = FirstLinkTo(byId, node);
        port.byPath = FirstLinkTo(byPath, node);
    }
    return facts;
}
