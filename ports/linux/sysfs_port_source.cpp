#include "ports/linux/sysfs_port_source.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "ports/linux/sysfs_files.h"

namespace {

std::string DeviceName(const std::string& ttyDir, const std::string& node,
                       const std::string& byIdDir) {
    std::vector<std::string> ids = ListDirectory(byIdDir, nullptr);
    std::sort(ids.begin(), ids.end());
    const std::string nodePath = RealPath(node);
    for (const std::string& id : ids) {
        if (!nodePath.empty() && RealPath(byIdDir + "/" + id) == nodePath) return id;
    }
    // The hardware's driver, past the serial-base devices newer kernels put in between.
    const std::string hardware = HardwareDevice(RealPath(ttyDir + "/device"));
    const std::string driver = BaseName(RealPath(hardware + "/driver"));
    return driver.empty() ? BaseName(node) : driver;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
            // Compare the runs as numbers without converting: strip leading zeros, then the
            // longer run is larger, and equal lengths compare digit by digit.
            size_t startA = i;
            size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            if (endA - startA != endB - startB) return endA - startA < endB - startB;
            const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // equal in value ("ttyS01" and "ttyS1"): any fixed order
}

SysfsPortSource::SysfsPortSource(const std::string& ttyClassDir, const std::string& byIdDir,
                                 const std::string& devDir) {
    bool opened = false;
    std::vector<std::string> ttys = ListDirectory(ttyClassDir, &opened);
    SetOpen(opened);
    std::sort(ttys.begin(), ttys.end(), NaturalLess);
    for (const std::string& tty : ttys) {
        const std::string ttyDir = ttyClassDir + "/" + tty;
        if (!PathExists(ttyDir + "/device") || IsPlaceholderTty(ttyDir)) continue;
        const std::string node = devDir + "/" + tty;
        // Stored as the registry stores text: with its terminator.
        Add(DeviceName(ttyDir, node, byIdDir), node + '\0');
    }
}
