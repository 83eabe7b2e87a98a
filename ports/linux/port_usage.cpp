#include "ports/linux/port_usage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <mutex>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "base/unique_handle.h"
#include "ports/linux/sysfs_files.h"

namespace {

// The flag /proc/PID/stat carries for a kernel thread, which holds no files of its own.
constexpr unsigned long kKernelThreadFlag = 0x00200000;
// More than any pid a lock file holds, as ASCII or as a binary int.
constexpr size_t kLockFileBytes = 128;

struct DirTraits {
    using Handle = DIR*;
    static DIR* Invalid() { return nullptr; }
    static void Close(DIR* dir) { ::closedir(dir); }
};
using UniqueDir = UniqueHandle<DirTraits>;

struct Node {
    int error = 0;  // of its stat: 0 when it is there
    struct stat info {};
    bool mayOpen = false;            // for reading and writing, by this user
    std::vector<std::string> texts;  // the node's path as asked, and resolved
};

Node NodeOf(const std::string& port) {
    Node node;
    if (::stat(port.c_str(), &node.info) != 0) {
        node.error = errno;
        return node;
    }
    node.mayOpen = ::faccessat(AT_FDCWD, port.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    node.texts.push_back(port);
    const std::string real = RealPath(port);
    if (!real.empty() && real != port) node.texts.push_back(real);
    return node;
}

// A device may have more than one node; anything else is its inode.
bool IsNode(const Node& node, const struct stat& info) {
    if (S_ISCHR(node.info.st_mode)) {
        return S_ISCHR(info.st_mode) && info.st_rdev == node.info.st_rdev;
    }
    return info.st_dev == node.info.st_dev && info.st_ino == node.info.st_ino;
}

// What one port is seen to be used by.
struct Evidence {
    std::vector<unsigned long> openers;  // processes with the node open
    std::vector<unsigned long> lockers;  // processes a lock or a lock file names
    bool locked = false;
    bool lockFile = false;
    bool unreadableLockFile = false;
    bool staleLockFile = false;
};

void AddPid(std::vector<unsigned long>& pids, unsigned long pid) {
    if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
}

bool Contains(const std::vector<unsigned long>& pids, unsigned long pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
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

bool IsAlive(long pid) {
    return pid > 0 && pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The link texts to look for, each with its port: comparing a descriptor's link text costs
// no lookup of its file, which could hang on a network mount; only matches are stat'ed.
class Candidates {
public:
    explicit Candidates(const std::vector<Node>& nodes) {
        for (size_t port = 0; port < nodes.size(); ++port) {
            for (const std::string& text : nodes[port].texts) {
                if (text.size() < m_lengths.size()) {
                    m_lengths[text.size()] = true;
                    m_texts.emplace_back(text, port);
                }
            }
        }
    }
    template <typename Match>
    void ForEach(const char* link, size_t length, const Match& match) const {
        if (length >= m_lengths.size() || !m_lengths[length]) return;
        for (const auto& [text, port] : m_texts) {
            if (text.size() == length && std::memcmp(text.data(), link, length) == 0) match(port);
        }
    }

private:
    std::vector<bool> m_lengths = std::vector<bool>(PATH_MAX, false);
    std::vector<std::pair<std::string, size_t>> m_texts;
};

// Adds the process to the openers of every port it has open.
void ScanProcess(int fdDir, const std::vector<Node>& nodes, const Candidates& candidates,
                 unsigned long pid, std::vector<Evidence>& evidence) {
    UniqueDir fds(::fdopendir(fdDir));
    if (!fds.IsValid()) {
        ::close(fdDir);
        return;
    }
    char link[PATH_MAX];
    while (const dirent* fd = ::readdir(fds.Get())) {
        if (fd->d_name[0] == '.') continue;
        const ssize_t length = ::readlinkat(fdDir, fd->d_name, link, sizeof link);
        if (length <= 0) continue;
        candidates.ForEach(link, static_cast<size_t>(length), [&](size_t port) {
            struct stat info {};
            if (::fstatat(fdDir, fd->d_name, &info, 0) == 0 && IsNode(nodes[port], info)) {
                AddPid(evidence[port].openers, pid);
            }
        });
    }
}

// One pass over the processes' open files, shared out among threads: each descriptor costs a
// readlink, and a crowd of processes has many. The threads take processes a batch at a time;
// whatever they share lives here, so that one stuck in a call can be left behind.
class ProcessSweep {
public:
    ProcessSweep(std::string proc, std::vector<std::string> entries, std::vector<Node> nodes,
                 std::chrono::steady_clock::time_point deadline)
        : m_proc(std::move(proc)),
          m_entries(std::move(entries)),
          m_nodes(std::move(nodes)),
          m_candidates(m_nodes),
          m_procDir(::open(m_proc.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          m_deadline(deadline),
          m_evidence(m_nodes.size()) {}

    // Processes a thread takes at a time: enough to make the hand-out cheap.
    static constexpr size_t kBatch = 16;

    static bool Run(const std::shared_ptr<ProcessSweep>& sweep, CallPool& pool) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const size_t batches = (sweep->m_entries.size() + kBatch - 1) / kBatch;
        const size_t threads = std::min<size_t>({cores, kMostScanThreads, batches});
        for (size_t helper = 1; helper < threads; ++helper) {
            {
                const std::lock_guard<std::mutex> lock(sweep->m_mutex);
                ++sweep->m_running;
            }
            if (!pool.Post([sweep] { sweep->Work(); })) {
                const std::lock_guard<std::mutex> lock(sweep->m_mutex);
                --sweep->m_running;
                break;
            }
        }
        {
            const std::lock_guard<std::mutex> lock(sweep->m_mutex);
            ++sweep->m_running;
        }
        sweep->Work();
        // A helper stuck in a call past the deadline is left to it, and the scan is incomplete.
        std::unique_lock<std::mutex> lock(sweep->m_mutex);
        const bool allDone = sweep->m_ended.wait_until(lock, sweep->m_deadline + kStraggling,
                                                       [&] { return sweep->m_running == 0; });
        return allDone && !sweep->m_late;
    }

    // With the threads done, or given up.
    void Collect(std::vector<Evidence>& evidence, PortHolders& hidden) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t port = 0; port < evidence.size(); ++port) {
            evidence[port].openers = m_evidence[port].openers;
            std::sort(evidence[port].openers.begin(), evidence[port].openers.end());
        }
        hidden = m_hidden;
        std::sort(hidden.begin(), hidden.end(),
                  [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    }

private:
    static constexpr size_t kMostScanThreads = 8;
    static constexpr std::chrono::milliseconds kStraggling{100};

    void Work() {
        std::vector<Evidence> evidence(m_nodes.size());
        PortHolders hidden;
        bool late = false;
        const unsigned long self = static_cast<unsigned long>(::getpid());
        for (size_t first = m_next.fetch_add(kBatch); first < m_entries.size() && !late;
             first = m_next.fetch_add(kBatch)) {
            const size_t end = std::min(first + kBatch, m_entries.size());
            for (size_t at = first; at < end; ++at) {
                const std::string& entry = m_entries[at];
                if (!IsPid(entry)) continue;
                if (std::chrono::steady_clock::now() >= m_deadline) {
                    late = true;
                    break;
                }
                const unsigned long pid = std::strtoul(entry.c_str(), nullptr, 10);
                if (pid == self) continue;
                const int fdDir = ::openat(m_procDir.Get(), (entry + "/fd").c_str(),
                                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fdDir >= 0) {
                    ScanProcess(fdDir, m_nodes, m_candidates, pid, evidence);
                } else if ((errno == EACCES || errno == EPERM) &&
                           !IsKernelThread(m_proc + "/" + entry)) {
                    hidden.push_back(PortHolder{pid, std::string(), false});
                }
            }
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t port = 0; port < evidence.size(); ++port) {
            for (const unsigned long pid : evidence[port].openers) {
                AddPid(m_evidence[port].openers, pid);
            }
        }
        m_hidden.insert(m_hidden.end(), hidden.begin(), hidden.end());
        m_late = m_late || late;
        --m_running;
        m_ended.notify_all();
    }

    const std::string m_proc;
    const std::vector<std::string> m_entries;
    const std::vector<Node> m_nodes;
    const Candidates m_candidates;
    const UniqueFd m_procDir;
    const std::chrono::steady_clock::time_point m_deadline;
    std::atomic<size_t> m_next{0};

    std::mutex m_mutex;  // guards the rest
    std::condition_variable m_ended;
    unsigned m_running = 0;
    bool m_late = false;
    std::vector<Evidence> m_evidence;
    PortHolders m_hidden;
};

// Every process's open files; false when the deadline came first.
bool ScanProcesses(const std::string& proc, std::vector<std::string> entries,
                   const std::vector<Node>& nodes, std::chrono::steady_clock::time_point deadline,
                   std::vector<Evidence>& evidence, PortHolders& hidden) {
    const auto sweep = std::make_shared<ProcessSweep>(proc, std::move(entries), nodes, deadline);
    const bool finished = ProcessSweep::Run(sweep, CallPool::Process());
    sweep->Collect(evidence, hidden);
    return finished;
}

// Locks name their holder even where its descriptors are hidden:
// "1: FLOCK  ADVISORY  WRITE 4312 00:05:87 0 EOF"; lines with "->" wait for a lock.
// `finished`: every process's open files were looked at.
void ReadLocks(const std::string& proc, const std::vector<Node>& nodes, const PortHolders& hidden,
               bool finished, std::vector<Evidence>& evidence) {
    const long self = ::getpid();
    std::ifstream locks(proc + "/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access;
        long pid = 0;  // -1 for a lock of an open file description, which names no process
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        char colon1 = 0, colon2 = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> std::hex >> major >> colon1 >>
              minor >> colon2 >> std::dec >> inode) ||
            (kind != "FLOCK" && kind != "POSIX" && kind != "OFDLCK") || pid == self) {
            continue;
        }
        for (size_t port = 0; port < nodes.size(); ++port) {
            const Node& node = nodes[port];
            if (node.error != 0 || node.info.st_ino != inode ||
                ::major(node.info.st_dev) != major || ::minor(node.info.st_dev) != minor) {
                continue;
            }
            Evidence& seen = evidence[port];
            seen.locked = true;
            if (pid <= 0) continue;
            const auto locker = static_cast<unsigned long>(pid);
            // A flock belongs to the open file, which may have outlived its locker in a child:
            // the locker holds the port only while it still has it open, or may have it (its
            // files are hidden, or the scan ended before it came to them).
            const bool unseen =
                !finished || std::any_of(hidden.begin(), hidden.end(),
                                         [&](const PortHolder& h) { return h.pid == locker; });
            const bool mayHaveIt =
                kind == "POSIX" || Contains(seen.openers, locker) || (unseen && IsAlive(pid));
            if (mayHaveIt) AddPid(seen.lockers, locker);
        }
    }
}

// What a UUCP lock file says: the pid it names as ASCII ("      4312\n", "4312 minicom user") or,
// from old programs, as a binary int; 0 when it names none.
struct LockFileClaim {
    bool exists = false;
    bool readable = false;  // a regular file whose first bytes could be read
    long pid = 0;
};

LockFileClaim ReadLockFile(const std::string& path) {
    LockFileClaim claim;
    // The lock directories are anyone's to write in: whatever is found there is opened without
    // waiting (a FIFO would block a plain open for ever), without following a link and without
    // becoming our controlling terminal, and read only when it is a regular file.
    const UniqueFd file(
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!file.IsValid()) {
        claim.exists = errno != ENOENT && errno != ENOTDIR;
        return claim;
    }
    claim.exists = true;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return claim;
    char bytes[kLockFileBytes] = {};
    const ssize_t got = ::read(file.Get(), bytes, sizeof bytes - 1);
    if (got < 0) return claim;
    claim.readable = true;
    // A pid is below 2^22, so a binary one has a zero byte, which ASCII never has.
    if (static_cast<size_t>(got) == sizeof(int) && std::memchr(bytes, 0, sizeof(int))) {
        int pid = 0;
        std::memcpy(&pid, bytes, sizeof pid);
        claim.pid = pid;
        return claim;
    }
    char* end = nullptr;
    const long pid = std::strtol(bytes, &end, 10);
    claim.pid = end != bytes && pid > 0 ? pid : 0;
    return claim;
}

// "LCK..ttyUSB0"; a node deeper in /dev has its slashes as underscores: "LCK..pts_3".
std::string LockFileName(const std::string& path) {
    constexpr char kDev[] = "/dev/";
    std::string name = path.rfind(kDev, 0) == 0 ? path.substr(sizeof kDev - 1) : BaseName(path);
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

void ReadLockFiles(const std::vector<std::string>& lockDirs, const std::vector<Node>& nodes,
                   std::vector<Evidence>& evidence) {
    const long self = ::getpid();
    for (size_t port = 0; port < nodes.size(); ++port) {
        for (const std::string& text : nodes[port].texts) {
            for (const std::string& dir : lockDirs) {
                const LockFileClaim claim = ReadLockFile(dir + "/" + LockFileName(text));
                const long pid = claim.pid;
                if (!claim.exists || (claim.readable && pid == self)) continue;
                Evidence& seen = evidence[port];
                if (!claim.readable) {
                    // Somebody claims the port, and we cannot tell who.
                    seen.lockFile = true;
                    seen.unreadableLockFile = true;
                } else if (IsAlive(pid)) {
                    seen.lockFile = true;
                    AddPid(seen.lockers, static_cast<unsigned long>(pid));
                } else {
                    seen.staleLockFile = true;
                }
            }
        }
    }
}

PortHolder NamedHolder(const std::string& proc, unsigned long pid) {
    PortHolder holder{pid, std::string(), true};
    std::ifstream comm(proc + "/" + std::to_string(pid) + "/comm");
    holder.nameKnown = static_cast<bool>(std::getline(comm, holder.name));
    return holder;
}

// The members of the node's group may open it: the group to join.
std::string GroupToJoin(const struct stat& info) {
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return std::string();
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return std::string();
    }
    return found->gr_name;
}

PortUsage UsageOf(const std::string& proc, const Node& node, const Evidence& seen, bool finished,
                  const PortHolders& hidden) {
    PortUsage usage;
    usage.holdersComplete = finished && hidden.empty();
    usage.staleLockFile = seen.staleLockFile;
    if (node.error != 0) {
        const bool gone = node.error == ENOENT || node.error == ENOTDIR;
        usage.status = gone ? PortStatus::NotFound : PortStatus::Unknown;
        usage.reason = gone ? PortReason::NotPresent : PortReason::OpenFailed;
        return usage;
    }
    for (const unsigned long pid : seen.openers) usage.holders.push_back(NamedHolder(proc, pid));
    for (const unsigned long pid : seen.lockers) {
        if (!Contains(seen.openers, pid)) usage.holders.push_back(NamedHolder(proc, pid));
    }
    usage.status = PortStatus::Busy;
    if (seen.locked) {
        usage.reason = PortReason::Locked;
    } else if (seen.lockFile) {
        usage.reason = PortReason::LockFile;
    } else if (!seen.openers.empty()) {
        usage.reason = PortReason::Held;
    } else if (!node.mayOpen) {
        usage.reason = PortReason::NoPermission;
        usage.group = GroupToJoin(node.info);
        return usage;
    } else {
        // Processes this user may not inspect do not make it unknown: for a user without
        // privileges there always are some.
        usage.status = finished ? PortStatus::Available : PortStatus::Unknown;
        usage.reason = finished ? PortReason::None : PortReason::NoAnswer;
        return usage;
    }
    // Nobody in sight: the scan may have ended before it came to the holder, or a lock file
    // names nobody we can read; else it is one of the processes this user may not inspect.
    if (usage.holders.empty()) {
        usage.holdersUnknown = !finished || seen.unreadableLockFile;
        if (!usage.holdersUnknown) usage.holders = hidden;
    }
    return usage;
}

}  // namespace

PortUsageScan ScanPortUsage(const std::vector<std::string>& ports, const PortUsagePlaces& places,
                            std::chrono::steady_clock::time_point deadline) {
    PortUsageScan scan;
    std::vector<Node> nodes;
    for (const std::string& port : ports) nodes.push_back(NodeOf(port));
    std::vector<Evidence> evidence(ports.size());
    std::vector<std::string> entries = ListDirectory(places.procDir, &scan.processesListed);
    const bool finished =
        scan.processesListed &&
        ScanProcesses(places.procDir, std::move(entries), nodes, deadline, evidence, scan.hidden);
    ReadLocks(places.procDir, nodes, scan.hidden, finished, evidence);
    ReadLockFiles(places.lockDirs, nodes, evidence);
    for (size_t port = 0; port < ports.size(); ++port) {
        scan.ports.push_back(
            UsageOf(places.procDir, nodes[port], evidence[port], finished, scan.hidden));
    }
    return scan;
}

std::string UsageText(const PortUsage& usage) {
    if (usage.reason == PortReason::NoPermission) {
        return usage.group.empty() ? "no permission" : "no permission: join group " + usage.group;
    }
    if (usage.status == PortStatus::Available && usage.staleLockFile) return "stale lock file";
    const char* key = ReasonKey(usage.reason);
    return key ? key : "";
}

std::optional<PortUsageScan> ScanPortUsagePatiently(const std::vector<std::string>& ports,
                                                    const PortUsagePlaces& places, CallPool& pool) {
    // The scan owns all it touches: a scan that gets stuck is left running on its own.
    auto scan = std::make_shared<PortUsageScan>();
    const auto deadline = std::chrono::steady_clock::now() + kScanDeadline;
    const CallPool::Outcome outcome = pool.Run(
        [scan, ports, places, deadline] { *scan = ScanPortUsage(ports, places, deadline); },
        2 * kScanDeadline);
    if (outcome == CallPool::Outcome::GaveUp) return std::nullopt;
    if (outcome == CallPool::Outcome::NoThread) return ScanPortUsage(ports, places, deadline);
    return std::move(*scan);
}
