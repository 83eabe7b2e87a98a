#include "tests/fuzz/port_list_harness.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "base/unique_handle.h"
#include "ports/engine/port_probe.h"
#include "ports/engine/port_survey.h"
#include "ports/engine/port_value_list.h"

namespace {

// The oracle's own figures and texts, written out rather than taken from the code under test.
constexpr std::size_t kLongest = 400;
constexpr std::size_t kCapacity = 260;  // name with its terminator, or data, must fit
constexpr std::uint16_t kSurveyWord = 0xFFFF;
constexpr std::uint16_t kClosedSurveyWord = 0xFFFE;
constexpr char kOpens[] = "a";
constexpr char kLocked[] = "b";
constexpr char kAvailable[] = "available";
constexpr char kNotFound[] = "not found";
constexpr char kBusy[] = "busy";
constexpr char kUnknown[] = "unknown";

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

bool Fail(std::string* failure, const std::string& what) {
    *failure = what;
    return false;
}

// The rows the values must give: one per value up to the first whose name and terminator, or
// data, exceed a buffer; both read as text up to their first zero.
std::vector<Row> ExpectedRows(const std::vector<Value>& values, const ProbeSandbox& sandbox) {
    std::vector<Row> rows;
    for (const Value& value : values) {
        if (value.name.size() + 1 > kCapacity || value.data.size() > kCapacity) break;
        const std::string port = TextOf(value.data);
        rows.push_back(Row{TextOf(value.name), port, sandbox.ExpectedStatus(port)});
    }
    return rows;
}

bool CheckRows(const char* what, const std::optional<PortRows>& rows,
               const std::vector<Row>& expected, std::string* failure) {
    if (!rows) return Fail(failure, std::string(what) + " gave no list from a source that opens");
    if (rows->size() != expected.size()) {
        return Fail(failure, std::string(what) + " gave " + std::to_string(rows->size()) +
                                 " rows for " + std::to_string(expected.size()) +
                                 " readable values");
    }
    for (std::size_t row = 0; row < expected.size(); ++row) {
        const PortRow& got = (*rows)[row];
        const std::string cells[] = {got.device, got.port, StatusText(got.status)};
        const std::string wanted[] = {expected[row].device, expected[row].port,
                                      expected[row].status};
        for (int column = 0; column < 3; ++column) {
            if (cells[column] != wanted[column]) {
                return Fail(failure, std::string(what) + ": row " + std::to_string(row) +
                                         " field " + std::to_string(column) + " is " +
                                         Shown(cells[column]) + ", not " + Shown(wanted[column]));
            }
        }
    }
    return true;
}

bool Survey(const std::vector<Value>& values, bool open, const ProbeSandbox& sandbox,
            std::string* failure) {
    ClosableSource source;
    source.SetOpen(open);
    for (const Value& value : values) source.Add(value.name, value.data);

    std::optional<PortRows> read;
    std::optional<PortRows> surveyed;
    {
        const InDirectory inSandbox(sandbox.Dir());
        if (!inSandbox.Entered()) return Fail(failure, "cannot enter the probe sandbox");
        read = ReadPortRows(source);
        surveyed = SurveyPorts(source, ProbePort);
    }
    if (!open) {
        if (read || surveyed) return Fail(failure, "a source that cannot be opened gave rows");
        return true;
    }
    std::vector<Row> expected = ExpectedRows(values, sandbox);
    if (!CheckRows("the survey", surveyed, expected, failure)) return false;
    // Reading alone probes nothing.
    for (Row& row : expected) row.status = kUnknown;
    return CheckRows("the reading", read, expected, failure);
}

}  // namespace

bool CheckPortListInput(const std::uint8_t* bytes, std::size_t size, std::string* failure) {
    // One sandbox for the whole run: made on first use, removed at exit.
    static const ProbeSandbox sandbox;
    if (!sandbox.Ready()) return Fail(failure, "cannot set up the probe sandbox");
    Reader reader(bytes, size);
    std::vector<Value> values;
    std::uint16_t word = 0;
    while (reader.Word(&word)) {
        if (word == kSurveyWord || word == kClosedSurveyWord) {
            const bool open = word == kSurveyWord;
            if (!Survey(values, open, sandbox, failure)) return false;
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
    return Survey(values, true, sandbox, failure);
}
