#include "ports/linux/sysfs_files.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

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

bool PathExists(const std::string& path) {
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

std::string ReadAttribute(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    // Attributes end in a newline; some USB strings also carry trailing blanks.
    const size_t end = line.find_last_not_of(" \t\r\n");
    return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

bool IsPlaceholderTty(const std::string& ttyDir) {
    std::ifstream type(ttyDir + "/type");
    int value = -1;
    return type >> value && value == 0;
}

std::string ParentPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Subsystem(const std::string& device) {
    return BaseName(RealPath(device + "/subsystem"));
}

std::string HardwareDevice(std::string device) {
    while (device != "/" && Subsystem(device) == "serial-base") device = ParentPath(device);
    return device;
}
