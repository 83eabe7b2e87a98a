#include "ports/sysfs_port_source.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

std::vector<std::string> ListDirectory(const std::string& path, bool* opened) {
    std::vector<std::string> names;
    const UniqueDir dir(::opendir(path.c_str()));
    if (opened) *opened = dir != nullptr;
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The 8250 driver registers ttyS0..n whether or not a UART answers; those read type 0.
bool IsPlaceholder(const std::string& ttyDir) {
    std::ifstream type(ttyDir + "/type");
    int value = -1;
    return type >> value && value == 0;
}

std::string DeviceName(const std::string& ttyDir, const std::string& node,
                       const std::string& byIdDir) {
    std::vector<std::string> ids = ListDirectory(byIdDir, nullptr);
    std::sort(ids.begin(), ids.end());
    const std::string nodePath = RealPath(node);
    for (const std::string& id : ids) {
        if (!nodePath.empty() && RealPath(byIdDir + "/" + id) == nodePath) return id;
    }
    const std::string driver = BaseName(RealPath(ttyDir + "/device/driver"));
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
        if (!Exists(ttyDir + "/device") || IsPlaceholder(ttyDir)) continue;
        const std::string node = devDir + "/" + tty;
        // Stored as the registry stores text: with its terminator.
        Add(DeviceName(ttyDir, node, byIdDir), node + '\0');
    }
}
