#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "ports/engine/port_holders.h"
#include "ports/linux/sysfs_files.h"

struct PortHolderFinder::State {
    std::string procDir;
};

namespace {

// The flag /proc/PID/stat carries for a kernel thread, which holds no files of its own.
constexpr unsigned long kKernelThreadFlag = 0x00200000;

struct PortNode {
    bool found = false;
    dev_t device = 0;      // the node's own device number
    dev_t filesystem = 0;  // where the node lives, as /proc/locks names it...
    ino_t inode = 0;       // ...with its inode
    bool mayOpen = false;  // this user may open it: only a holder can make it busy
};

PortNode NodeOf(const std::string& port) {
    PortNode node;
    struct stat info {};
    if (::stat(port.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return node;
    node.found = true;
    node.device = info.st_rdev;
    node.filesystem = info.st_dev;
    node.inode = info.st_ino;
    node.mayOpen = ::access(port.c_str(), R_OK | W_OK) == 0;
    return node;
}

bool IsPid(const std::string& name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

bool IsKernelThread(const std::string& processDir) {
    const std::string stat = ReadAttribute(processDir + "/stat");
    // The name in parentheses may hold anything; the fields after it are numbers: state,
    // ppid, pgrp, session, tty_nr, tpgid, flags.
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string state;
    long skipped = 0;
    unsigned long flags = 0;
    fields >> state >> skipped >> skipped >> skipped >> skipped >> skipped >> flags;
    return fields && (flags & kKernelThreadFlag) != 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// Every holder of a port once, in the order found.
void AddHolder(PortHolders& holders, unsigned long pid) {
    for (const PortHolder& holder : holders) {
        if (holder.pid == pid) return;
    }
    holders.push_back(PortHolder{pid, std::string(), true});
}

}  // namespace

PortHolderFinder::PortHolderFinder() : PortHolderFinder("/proc") {}

PortHolderFinder::PortHolderFinder(std::string procDir)
    : m_state(std::make_unique<State>(State{std::move(procDir)})) {}

PortHolderFinder::~PortHolderFinder() = default;

std::vector<PortHolders> PortHolderFinder::Find(const PortRows& rows) {
    std::vector<PortHolders> holders(rows.size());
    std::vector<PortNode> nodes;
    for (const PortRow& row : rows) nodes.push_back(NodeOf(row.port));
    const std::string& proc = m_state->procDir;
    bool listed = false;
    const std::vector<std::string> entries = ListDirectory(proc, &listed);
    m_lastFindFailed = !listed;
    if (!listed) return holders;

    // Processes with a descriptor open on a port's node.
    std::vector<unsigned long> hidden;  // processes whose descriptors this user may not see
    for (const std::string& entry : entries) {
        if (!IsPid(entry)) continue;
        const unsigned long pid = std::strtoul(entry.c_str(), nullptr, 10);
        const std::string fdDir = proc + "/" + entry + "/fd";
        const UniqueDir fds(::opendir(fdDir.c_str()));
        if (!fds) {
            if ((errno == EACCES || errno == EPERM) && !IsKernelThread(proc + "/" + entry)) {
                hidden.push_back(pid);
            }
            continue;
        }
        while (const dirent* fd = ::readdir(fds.get())) {
            struct stat info {};
            if (fd->d_name[0] == '.' || ::stat((fdDir + "/" + fd->d_name).c_str(), &info) != 0 ||
                !S_ISCHR(info.st_mode)) {
                continue;
            }
            for (size_t row = 0; row < rows.size(); ++row) {
                if (nodes[row].found && nodes[row].device == info.st_rdev) {
                    AddHolder(holders[row], pid);
                }
            }
        }
    }

    // Locks name their holder even where its descriptors are hidden:
    // "1: FLOCK  ADVISORY  WRITE 4312 00:05:87 0 EOF"; lines with "->" wait for a lock.
    std::ifstream locks(proc + "/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access;
        long pid = 0;  // -1 for a lock of an open file description, which names no process
        if (!(fields >> number >> kind) || kind == "->") continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        char colon1 = 0, colon2 = 0;
        if (!(fields >> mode >> access >> pid >> std::hex >> major >> colon1 >> minor >> colon2 >>
              std::dec >> inode) ||
            pid <= 0) {
            continue;
        }
        for (size_t row = 0; row < rows.size(); ++row) {
            if (nodes[row].found && nodes[row].inode == inode &&
                ::major(nodes[row].filesystem) == major &&
                ::minor(nodes[row].filesystem) == minor) {
                AddHolder(holders[row], static_cast<unsigned long>(pid));
            }
        }
    }

    for (size_t row = 0; row < rows.size(); ++row) {
        for (PortHolder& holder : holders[row]) {
            holder.name = ReadAttribute(proc + "/" + std::to_string(holder.pid) + "/comm");
            holder.visible = !holder.name.empty();
        }
        // A port this user may open is busy only because someone holds it: when no holder
        // shows, it may be any of the processes that cannot be seen.
        if (holders[row].empty() && nodes[row].mayOpen) {
            for (const unsigned long pid : hidden) {
                holders[row].push_back(PortHolder{pid, std::string(), false});
            }
        }
    }
    return holders;
}
