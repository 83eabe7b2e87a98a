// A tty class, /dev and /dev/serial/by-id of the test's own in a temporary directory, with
// pseudo-terminals to stand behind its device nodes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/unique_handle.h"
#include "ports/linux/sysfs_port_source.h"

// A directory of the test's own, removed with all in it when this ends.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/portlook-test-XXXXXX";
        if (::mkdtemp(pattern)) m_path = pattern;
    }
    ~TempDir() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

class FakeSysfsTree {
public:
    FakeSysfsTree() {
        for (const char* dir : {"/class", "/class/tty", "/devices", "/drivers", "/dev", "/by-id"}) {
            ::mkdir((m_root + dir).c_str(), 0755);
        }
    }

    const std::string& Root() const { return m_root; }
    std::string Node(const std::string& tty) const { return m_root + "/dev/" + tty; }
    std::string ById(const std::string& id) const { return m_root + "/by-id/" + id; }
    SysfsPortSource Source() const {
        return SysfsPortSource(m_root + "/class/tty", m_root + "/by-id", m_root + "/dev");
    }

    // A tty whose device is served by `driver`, or which has no device when that is empty; its
    // node links to `nodeTarget`, or is missing when that is empty.
    void AddTty(const std::string& tty, const std::string& driver, const std::string& nodeTarget) {
        const std::string dir = m_root + "/class/tty/" + tty;
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
        if (!driver.empty()) {
            const std::string device = m_root + "/devices/" + tty;
            const std::string driverDir = m_root + "/drivers/" + driver;
            ::mkdir(driverDir.c_str(), 0755);
            ASSERT_EQ(::mkdir(device.c_str(), 0755), 0);
            ASSERT_EQ(::symlink(driverDir.c_str(), (device + "/driver").c_str()), 0);
            ASSERT_EQ(::symlink(device.c_str(), (dir + "/device").c_str()), 0);
        }
        if (!nodeTarget.empty()) {
            ASSERT_EQ(::symlink(nodeTarget.c_str(), Node(tty).c_str()), 0);
        }
    }
    void AddById(const std::string& id, const std::string& tty) {
        ASSERT_EQ(::symlink(Node(tty).c_str(), ById(id).c_str()), 0);
    }

    // A link below the tree's /dev ("serial/by-id/usb-..."), as udev makes them.
    void AddDevLink(const std::string& path, const std::string& target) {
        std::system(
            ("mkdir -p '" + m_root + "/dev/" + path.substr(0, path.rfind('/')) + "'").c_str());
        ASSERT_EQ(::symlink(target.c_str(), (m_root + "/dev/" + path).c_str()), 0);
    }

private:
    const TempDir m_dir;
    const std::string m_root = m_dir.Path();
};

// A pseudo-terminal that opens like a free serial port.
class Pty {
public:
    Pty() {
        char name[256] = {};
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        m_master.Reset(master);
        m_slave.Reset(slave);
        m_path = name;
    }
    const std::string& Path() const { return m_path; }
    int Slave() const { return m_slave.Get(); }

private:
    UniqueFd m_master;
    UniqueFd m_slave;
    std::string m_path;
};
