#include "tests/fuzz/port_list_harness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "colorlist/color_list_ctrl.h"
#include "framework/list_model.h"
#include "framework/unique_handle.h"
#include "ports/port_list.h"
#include "ports/port_value_list.h"

namespace {

// The oracle's own figures and texts, written out rather than taken from the code under test.
constexpr std::size_t kLongest = 400;
constexpr std::size_t kCapacity = 260;  // name with its terminator, or data, must fit
constexpr std::uint16_t kRefreshWord = 0xFFFF;
constexpr std::uint16_t kClosedRefreshWord = 0xFFFE;
constexpr char kOpens[] = "a";
constexpr char kLocked[] = "b";
constexpr char kAvailable[] = "available";
constexpr char kNotFound[] = "not found";
constexpr char kBusy[] = "busy";
constexpr char kUnknown[] = "unknown";

struct FdTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

// A private directory with one file that opens and one that we hold locked, so a probe of it
// reports busy. Made once per process, removed at its end.
class ProbeSandbox {
public:
    ProbeSandbox() {
        const char* const tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/portlook-fuzz-XXXXXX";
        if (!::mkdtemp(&path[0])) return;
        m_path = path;
        m_dir.Reset(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_dir.IsValid()) return;
        const UniqueFd opens(::openat(m_dir.Get(), kOpens, O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        m_locked.Reset(::openat(m_dir.Get(), kLocked, O_CREAT | O_RDWR | O_CLOEXEC, 0600));
        m_nameMax = ::fpathconf(m_dir.Get(), _PC_NAME_MAX);
        m_bReady = opens.IsValid() && m_locked.IsValid() &&
                   ::flock(m_locked.Get(), LOCK_EX | LOCK_NB) == 0 && m_nameMax > 0;
    }
    ~ProbeSandbox() {
        if (m_path.empty()) return;
        if (m_dir.IsValid()) {
            ::unlinkat(m_dir.Get(), kOpens, 0);
            ::unlinkat(m_dir.Get(), kLocked, 0);
        }
        ::rmdir(m_path.c_str());
    }
    ProbeSandbox(const ProbeSandbox&) = delete;
    ProbeSandbox& operator=(const ProbeSandbox&) = delete;

    bool Ready() const { return m_bReady; }
    int Dir() const { return m_dir.Get(); }

    // What a probe of an entry of this directory must report.
    const char* ExpectedStatus(const std::string& entry) const {
        if (entry == kOpens) return kAvailable;
        if (entry == kLocked) return kBusy;
        // A directory cannot be opened for writing; a name too long is no "not found" either.
        if (entry == "." || entry == ".." || static_cast<long>(entry.size()) > m_nameMax) {
            return kUnknown;
        }
        return kNotFound;
    }

private:
    std::string m_path;
    UniqueFd m_dir;
    UniqueFd m_locked;
    long m_nameMax = 0;
    bool m_bReady = false;
};

// The working directory is the sandbox for as long as this lives.
class InDirectory {
public:
    explicit InDirectory(int dir) : m_previous(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        m_bEntered = m_previous.IsValid() && ::fchdir(dir) == 0;
    }
    ~InDirectory() {
        // Going on from the wrong directory would put every later file of the run astray.
        if (m_bEntered && ::fchdir(m_previous.Get()) != 0) std::abort();
    }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;
    bool Entered() const { return m_bEntered; }

private:
    UniqueFd m_previous;
    bool m_bEntered = false;
};

struct Value {
    std::string name;
    std::string data;
};

struct Row {
    std::string device;
    std::string port;
    std::string status;
};

class ClosableSource : public PortValueList {
public:
    using PortValueList::SetOpen;
};

std::string TextOf(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// Bytes as a short readable string for a failure message.
std::string Shown(const std::string& bytes) {
    std::string shown = "\"";
    for (std::size_t i = 0; i < bytes.size() && i < 64; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    shown += bytes.size() > 64 ? "\"... (" + std::to_string(bytes.size()) + " bytes)" : "\"";
    return shown;
}

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}
    bool Word(std::uint16_t* word) {
        if (m_size - m_at < 2) return false;
        *word = static_cast<std::uint16_t>(m_bytes[m_at] | (m_bytes[m_at + 1] << 8));
        m_at += 2;
        return true;
    }
    std::string Bytes(std::size_t count) {
        count = std::min(count, m_size - m_at);
        std::string bytes(reinterpret_cast<const char*>(m_bytes + m_at), count);
        m_at += count;
        return bytes;
    }

private:
    const std::uint8_t* m_bytes;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// One colour list refreshed again and again, with what it must show kept beside it.
class Checker {
public:
    explicit Checker(const ProbeSandbox& sandbox) : m_sandbox(sandbox) {
        m_list.AttachModel(&m_model);
        m_list.InsertColumn(0, "Device");
        m_list.InsertColumn(1, "Port");
        m_list.InsertColumn(2, "Status");
    }

    bool Refresh(const std::vector<Value>& values, bool open, std::string* failure);
    const ListModel::Counts& Counts() const { return m_model.GetCounts(); }

private:
    bool Fail(std::string* failure, const std::string& what) const {
        *failure = what;
        return false;
    }
    bool CheckCounts(std::size_t before, const std::vector<Row>& expected, bool open,
                     std::string* failure) const;
    bool CheckRows(const std::vector<Row>& expected, std::size_t kept, std::string* failure);

    const ProbeSandbox& m_sandbox;
    ListModel m_model;  // declared first: outlives the control that talks to it
    CColorListCtrl m_list;
    std::vector<Row> m_rows;    // what the list showed after the last refresh
    std::vector<DWORD> m_keys;  // and the colour keys of its rows
};

bool Checker::Refresh(const std::vector<Value>& values, bool open, std::string* failure) {
    ClosableSource source;
    source.SetOpen(open);
    std::vector<Row> expected = m_rows;
    if (open) {
        expected.clear();
        bool fits = true;
        for (const Value& value : values) {
            source.Add(value.name, value.data);
            // The first value whose name and terminator, or data, exceed a buffer ends the list.
            fits = fits && value.name.size() + 1 <= kCapacity && value.data.size() <= kCapacity;
            if (fits) {
                const std::string port = TextOf(value.data);
                expected.push_back(Row{TextOf(value.name), port, m_sandbox.ExpectedStatus(port)});
            }
        }
    }

    m_model.ResetCounts();
    {
        const InDirectory inSandbox(m_sandbox.Dir());
        if (!inSandbox.Entered()) return Fail(failure, "cannot enter the probe sandbox");
        UpdatePortList(m_list, source);
    }

    const std::size_t before = m_rows.size();
    if (!CheckCounts(before, expected, open, failure)) return false;
    if (!CheckRows(expected, std::min(before, expected.size()), failure)) return false;
    m_rows = std::move(expected);
    return true;
}

bool Checker::CheckCounts(std::size_t before, const std::vector<Row>& expected, bool open,
                          std::string* failure) const {
    const std::size_t after = expected.size();
    int renamed = 0;
    for (std::size_t row = 0; row < std::min(before, after); ++row) {
        if (m_rows[row].device != expected[row].device) ++renamed;
    }
    const int written = open ? static_cast<int>(after) : 0;
    const ListModel::Counts& counts = m_model.GetCounts();
    const int inserts = after > before ? static_cast<int>(after - before) : 0;
    const int deletes = before > after ? static_cast<int>(before - after) : 0;
    if (counts.inserts != inserts || counts.deletes != deletes) {
        return Fail(failure, "from " + std::to_string(before) + " to " + std::to_string(after) +
                                 " rows took " + std::to_string(counts.inserts) + " inserts and " +
                                 std::to_string(counts.deletes) + " deletes");
    }
    if (counts.TextWrites(0) != renamed) {
        return Fail(failure, std::to_string(counts.TextWrites(0)) + " device writes for " +
                                 std::to_string(renamed) + " changed device names");
    }
    if (counts.TextWrites(1) != written || counts.TextWrites(2) != written) {
        return Fail(failure, std::to_string(counts.TextWrites(1)) + " port and " +
                                 std::to_string(counts.TextWrites(2)) + " status writes for " +
                                 std::to_string(written) + " values");
    }
    return true;
}

bool Checker::CheckRows(const std::vector<Row>& expected, std::size_t kept, std::string* failure) {
    if (m_list.GetItemCount() != static_cast<int>(expected.size())) {
        return Fail(failure, std::to_string(m_list.GetItemCount()) + " rows for " +
                                 std::to_string(expected.size()) + " readable values");
    }
    if (m_list.ColorEntryCount() != expected.size()) {
        return Fail(failure, std::to_string(m_list.ColorEntryCount()) +
                                 " colour table entries for " + std::to_string(expected.size()) +
                                 " rows");
    }
    std::vector<DWORD> keys;
    for (std::size_t row = 0; row < expected.size(); ++row) {
        const int index = static_cast<int>(row);
        const std::string cells[] = {m_list.GetItemText(index, 0), m_list.GetItemText(index, 1),
                                     m_list.GetItemText(index, 2)};
        const std::string wanted[] = {expected[row].device, expected[row].port,
                                      expected[row].status};
        for (int column = 0; column < 3; ++column) {
            if (cells[column] != wanted[column]) {
                return Fail(failure, "row " + std::to_string(row) + " column " +
                                         std::to_string(column) + " shows " + Shown(cells[column]) +
                                         ", not " + Shown(wanted[column]));
            }
        }
        keys.push_back(static_cast<DWORD>(m_list.CListCtrl::GetItemData(index)));
        // Rows are rewritten where they stand: a row that stays keeps its colours.
        if (row < kept && keys[row] != m_keys[row]) {
            return Fail(failure, "row " + std::to_string(row) + " lost its colour key");
        }
    }
    if (std::set<DWORD>(keys.begin(), keys.end()).size() != keys.size()) {
        return Fail(failure, "two rows share a colour key");
    }
    m_keys = std::move(keys);
    return true;
}

}  // namespace

bool CheckPortListInput(const std::uint8_t* bytes, std::size_t size, std::string* failure) {
    // One sandbox for the whole run: made on first use, removed at exit.
    static const ProbeSandbox sandbox;
    if (!sandbox.Ready()) {
        *failure = "cannot set up the probe sandbox";
        return false;
    }
    Checker checker(sandbox);
    Reader reader(bytes, size);
    std::vector<Value> values;
    std::uint16_t word = 0;
    while (reader.Word(&word)) {
        if (word == kRefreshWord || word == kClosedRefreshWord) {
            const bool open = word == kRefreshWord;
            if (!checker.Refresh(open ? values : std::vector<Value>{}, open, failure)) return false;
            if (open) values.clear();
            continue;
        }
        Value value;
        value.name = reader.Bytes(word % (kLongest + 1));
        std::uint16_t dataWord = 0;
        if (reader.Word(&dataWord)) value.data = reader.Bytes(dataWord % (kLongest + 1));
        std::replace(value.data.begin(), value.data.end(), '/', '_');
        values.push_back(std::move(value));
    }
    if (!checker.Refresh(values, true, failure)) return false;
    if (!checker.Refresh(values, true, failure)) return false;
    const ListModel::Counts& again = checker.Counts();
    if (again.inserts != 0 || again.deletes != 0 || again.TextWrites(0) != 0) {
        *failure = "the same values refreshed twice inserted, deleted or renamed rows";
        return false;
    }
    return true;
}
