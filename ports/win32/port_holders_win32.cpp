#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "base/wide_text.h"
#include "base/win32_handles.h"
#include "ports/engine/call_pool.h"
#include "ports/win32/port_holder_finder.h"
#include "ports/win32/handle_name_query.h"
#include "ports/win32/wine_port_name.h"

namespace {

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr ULONG kFirstSnapshotBytes = 1u << 18;
constexpr ULONG kMostSnapshotBytes = 1u << 28;
// Room for any port's name; a longer name is no port's.
constexpr size_t kNameBytes = 4096;
// Long enough for a device to answer what it is called; a pipe that never answers is left.
constexpr std::chrono::milliseconds kQueryPatience{200};

// One handle of the system's snapshot (SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX).
struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleSnapshotHeader {
    ULONG_PTR count;
    ULONG_PTR reserved;
};

// UNICODE_STRING: a length in bytes, not terminated.
struct CountedText {
    USHORT bytes;
    USHORT capacity;
    PWSTR text;
};

using QuerySystemInformation = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = HandleNameQuery;

// In place of the system's name query, for tests only.
HandleNameQuery nameQueryInstead = nullptr;

template <typename Function>
Function NtdllExport(const char* name) {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name)))
               : nullptr;
}

// Every handle of every process; nothing when the system does not tell.
std::optional<std::vector<HandleEntry>> SnapshotHandles() {
    const auto query = NtdllExport<QuerySystemInformation>("NtQuerySystemInformation");
    if (!query) return std::nullopt;
    std::vector<ULONG_PTR> buffer;
    for (ULONG bytes = kFirstSnapshotBytes; bytes <= kMostSnapshotBytes; bytes *= 2) {
        buffer.assign(bytes / sizeof(ULONG_PTR), 0);
        ULONG needed = 0;
        const LONG status = query(kSystemExtendedHandleInformation, buffer.data(), bytes, &needed);
        // Handles come and go between the calls: grow until they fit.
        if (status == kStatusInfoLengthMismatch) continue;
        if (status < 0) return std::nullopt;
        const auto* header = reinterpret_cast<const HandleSnapshotHeader*>(buffer.data());
        const auto* first = reinterpret_cast<const HandleEntry*>(header + 1);
        const size_t room = (bytes - sizeof *header) / sizeof *first;
        return std::vector<HandleEntry>(first, first + std::min<size_t>(header->count, room));
    }
    return std::nullopt;
}

std::wstring Wide(const std::string& text) { return WideFromCodePage(CP_ACP, text); }

bool SameName(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// What another process's handle is called; asked on a worker thread, which may never come back.
// The duplicate it is asked through lives only while it is asked: it is closed as soon as the
// name is known, or by the lookup when it gives the call up. Left open, it would keep the port
// open after its holder closes it, and the next lookup would find it among our own handles.
struct HandleQuery {
    std::shared_ptr<const KernelHandle> process;  // let go once duplicated
    HANDLE handle = nullptr;                      // in that process
    std::mutex mutex;
    KernelHandle duplicate;  // ours while it is asked
    bool givenUp = false;
    bool returned = false;  // in time or late
    std::wstring name;      // empty when it has none, or is a disk file or a pipe

    bool Returned() {
        const std::lock_guard<std::mutex> lock(mutex);
        return returned;
    }
    void GiveUp() {
        const std::lock_guard<std::mutex> lock(mutex);
        givenUp = true;
        duplicate.Reset();
    }
};

void NameHandle(HandleQuery& query, QueryObject queryObject) {
    // With no access: what it is and what it is called need none.
    HANDLE duplicate = nullptr;
    const bool duplicated = ::DuplicateHandle(query.process->Get(), query.handle,
                                              ::GetCurrentProcess(), &duplicate, 0, FALSE, 0);
    query.process.reset();
    if (!duplicated) return;
    {
        const std::lock_guard<std::mutex> lock(query.mutex);
        query.duplicate.Reset(duplicate);
        if (query.givenUp) {
            query.duplicate.Reset();
            return;
        }
    }
    // Should the lookup close the duplicate before a call below takes it, that call fails or
    // names another handle of ours; a given-up call's answer is dropped either way.
    // Disk files are no ports, and the name query of a pipe can wait for its pending read.
    const DWORD type = ::GetFileType(duplicate);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return;
    std::vector<ULONG_PTR> buffer(kNameBytes / sizeof(ULONG_PTR), 0);
    ULONG length = 0;
    if (queryObject(duplicate, kObjectNameInformation, buffer.data(),
                    static_cast<ULONG>(kNameBytes), &length) < 0) {
        return;
    }
    const auto* name = reinterpret_cast<const CountedText*>(buffer.data());
    if (!name->text) return;
    const std::lock_guard<std::mutex> lock(query.mutex);
    query.name.assign(name->text, name->bytes / sizeof(WCHAR));
}

void AskHandle(HandleQuery& query, QueryObject queryObject) {
    NameHandle(query, queryObject);
    const std::lock_guard<std::mutex> lock(query.mutex);
    query.duplicate.Reset();
    query.returned = true;
}

// The file name of the program a process runs; empty when it cannot be read.
std::string ProgramName(HANDLE process) {
    char path[MAX_PATH * 2] = {};
    DWORD length = sizeof path;
    if (!::QueryFullProcessImageNameA(process, 0, path, &length)) return std::string();
    const std::string full(path, length);
    return full.substr(full.find_last_of("\\/") + 1);
}

struct ProcessAccess {
    // Open to duplicate its handles and read its program's name; shared with the queries.
    std::shared_ptr<const KernelHandle> process;
    bool denied = false;  // opening it was refused
};

}  // namespace

void UseHandleNameQuery(HandleNameQuery query) { nameQueryInstead = query; }

struct PortHolderFinder::State {
    // Queries that outlasted the patience and have not returned, each on a thread of its own.
    std::vector<std::shared_ptr<HandleQuery>> out;
    // Their handles, by process and value: not asked again until the query returns or the
    // handle leaves the snapshot, so that a holder reusing the pair is seen.
    std::map<std::pair<ULONG_PTR, ULONG_PTR>, std::shared_ptr<HandleQuery>> unanswered;

    // Lets go of the queries that have returned and of handles gone from `handles`.
    void Forget(const std::vector<HandleEntry>& handles) {
        out.erase(
            std::remove_if(out.begin(), out.end(),
                           [](const std::shared_ptr<HandleQuery>& q) { return q->Returned(); }),
            out.end());
        std::set<std::pair<ULONG_PTR, ULONG_PTR>> present;
        for (const HandleEntry& entry : handles) {
            if (unanswered.count({entry.processId, entry.handle}) != 0) {
                present.insert({entry.processId, entry.handle});
            }
        }
        for (auto query = unanswered.begin(); query != unanswered.end();) {
            const bool keep = present.count(query->first) != 0 && !query->second->Returned();
            query = keep ? std::next(query) : unanswered.erase(query);
        }
    }
};

PortHolderFinder::PortHolderFinder() : m_state(std::make_unique<State>()) {}

PortHolderFinder::~PortHolderFinder() = default;

std::vector<std::optional<PortHolders>> PortHolderFinder::Find(const PortRows& rows) {
    std::vector<PortHolders> holders(rows.size());
    const std::vector<std::optional<PortHolders>> unknown(rows.size());
    m_lastFindSawAll = false;
    // The names a handle to each port may carry: the device's own, and under Wine the unix
    // device's the port links to.
    std::vector<std::pair<std::wstring, std::wstring>> names;
    for (const PortRow& row : rows) {
        names.emplace_back(Wide(row.device), RunningUnderWine()
                                                 ? WineHandleNameOfPort(Wide(row.port))
                                                 : std::wstring());
    }
    const auto queryObject =
        nameQueryInstead ? nameQueryInstead : NtdllExport<QueryObject>("NtQueryObject");
    // A file handle of our own shows which type number the snapshot gives files.
    const FileHandle marker(::CreateFileA("\\\\.\\NUL", 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    const std::optional<std::vector<HandleEntry>> handles = SnapshotHandles();
    const ULONG_PTR self = ::GetCurrentProcessId();
    std::optional<USHORT> fileType;
    if (handles && marker.IsValid()) {
        for (const HandleEntry& entry : *handles) {
            if (entry.processId == self &&
                entry.handle == reinterpret_cast<ULONG_PTR>(marker.Get())) {
                fileType = entry.objectTypeIndex;
            }
        }
    }
    if (handles) m_state->Forget(*handles);
    // Too many queries still hang: another could only add a thread that hangs too.
    m_lastFindFailed = !queryObject || !fileType || m_state->out.size() >= kMostNameQueriesOut;
    if (m_lastFindFailed) return unknown;

    std::map<ULONG_PTR, ProcessAccess> processes;
    std::vector<std::shared_ptr<HandleQuery>> queries;
    std::vector<ULONG_PTR> owners;  // the process of each query
    std::vector<std::function<void()>> calls;
    bool sawAll = true;
    bool skippedHanging = false;  // a handle whose name query still hangs was not asked
    for (const HandleEntry& entry : *handles) {
        // Our own handles include the duplicates of queries still out.
        if (entry.objectTypeIndex != *fileType || entry.processId == self) continue;
        // One whose name query still hangs is not asked again, nor known.
        if (m_state->unanswered.count({entry.processId, entry.handle}) != 0) {
            sawAll = false;
            skippedHanging = true;
            continue;
        }
        const auto opened = processes.try_emplace(entry.processId);
        ProcessAccess& access = opened.first->second;
        if (opened.second) {
            KernelHandle process(
                ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                              static_cast<DWORD>(entry.processId)));
            access.denied = !process.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED;
            if (process.IsValid()) {
                access.process = std::make_shared<KernelHandle>(std::move(process));
            }
        }
        if (!access.process) {
            sawAll = false;
            continue;
        }
        auto query = std::make_shared<HandleQuery>();
        query->process = access.process;
        query->handle = reinterpret_cast<HANDLE>(entry.handle);
        calls.push_back([query, queryObject] { AskHandle(*query, queryObject); });
        queries.push_back(std::move(query));
        owners.push_back(entry.processId);
    }
    // One thread asks them all, so that a handle costs no hand-over between threads.
    const CallPool::Result asked = CallPool::Process().RunInOrder(std::move(calls), kQueryPatience);
    if (asked.outcome != CallPool::Outcome::Returned) {
        // No thread to ask on, or one query hangs and the handles after it were not asked:
        // this lookup cannot tell who holds what.
        m_lastFindFailed = true;
        if (asked.outcome == CallPool::Outcome::GaveUp) {
            const size_t index = asked.returned;
            const std::shared_ptr<HandleQuery>& query = queries[index];
            query->GiveUp();
            m_state->out.push_back(query);
            m_state->unanswered[{owners[index], reinterpret_cast<ULONG_PTR>(query->handle)}] =
                query;
        }
        return unknown;
    }
    for (size_t index = 0; index < queries.size(); ++index) {
        const ULONG_PTR pid = owners[index];
        const HandleQuery& query = *queries[index];
        for (size_t row = 0; row < rows.size(); ++row) {
            if (!SameName(names[row].first, query.name) &&
                !SameName(names[row].second, query.name)) {
                continue;
            }
            PortHolders& held = holders[row];
            const bool listed = std::any_of(held.begin(), held.end(),
                                            [&](const PortHolder& h) { return h.pid == pid; });
            if (!listed) {
                held.push_back(PortHolder{static_cast<unsigned long>(pid),
                                          ProgramName(processes.at(pid).process->Get()), true});
            }
        }
    }
    m_lastFindSawAll = sawAll;
    std::vector<std::optional<PortHolders>> found(holders.begin(), holders.end());
    for (size_t row = 0; row < holders.size(); ++row) {
        PortHolders& held = holders[row];
        if (!held.empty()) continue;
        // The handle not asked may be the holder's: nobody can be said to hold the port.
        if (skippedHanging) {
            found[row].reset();
            continue;
        }
        // A busy port with no holder in sight may be held by any process that refused to be
        // opened: each of those that holds files is named as one that cannot be seen.
        for (const auto& process : processes) {
            if (process.second.denied) {
                found[row]->push_back(
                    PortHolder{static_cast<unsigned long>(process.first), std::string(), false});
            }
        }
    }
    return found;
}

PortHolderLookup SystemHolderLookup() {
    struct Finder {
        std::mutex mutex;  // its memory of queries that still hang serves every lookup
        PortHolderFinder finder;
    };
    const auto shared = std::make_shared<Finder>();
    return [shared](const PortRows& rows) {
        const std::lock_guard<std::mutex> lock(shared->mutex);
        return shared->finder.Find(rows);
    };
}
