#include "tests/robustness/key_oracle.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/win32_handles.h"

namespace {
constexpr size_t kLongestName = 260;  // characters, terminator included
constexpr size_t kLongestData = 260;  // bytes
}  // namespace

std::vector<KeyValue> ReadValues(HKEY key) {
    std::vector<KeyValue> values;
    // Far beyond any value a test writes: a value name may have 16383 characters.
    std::vector<char> name(32768);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                            &dataLength) != ERROR_SUCCESS) {
            break;
        }
        values.push_back(
            KeyValue{std::string(name.data(), nameLength), type,
                     std::string(reinterpret_cast<const char*>(data.data()), dataLength)});
    }
    return values;
}

Rows ExpectedRows(const std::vector<KeyValue>& values, const StatusOf& statusOf) {
    Rows rows;
    for (const KeyValue& value : values) {
        if (value.name.size() + 1 > kLongestName || value.data.size() > kLongestData) break;
        const std::string port = value.data.substr(0, value.data.find('\0'));
        rows.push_back({value.name, port, statusOf(port)});
    }
    return rows;
}

std::string OpenStatus(const std::string& port) {
    const std::string path = "\\\\.\\" + port;
    const FileHandle opened(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (opened.IsValid()) return "available";
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "busy";
        default:
            return "unknown";
    }
}

Rows ListRows(const CColorListCtrl& list) {
    Rows rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows.push_back(
            {list.GetItemText(row, 0), list.GetItemText(row, 1), list.GetItemText(row, 2)});
    }
    return rows;
}

std::string FirstDifference(const Rows& actual, const Rows& expected) {
    // Cells may hold any byte: show their length and the start of them, escaped.
    const auto show = [](const std::vector<std::string>& row) {
        std::string text = "[";
        for (const std::string& cell : row) {
            if (text.size() > 1) text += " | ";
            text += std::to_string(cell.size()) + ":";
            for (const char c : cell.substr(0, 40)) {
                const auto code = static_cast<unsigned char>(c);
                char escaped[8];
                std::snprintf(escaped, sizeof escaped,
                              code >= 0x20 && code < 0x7F ? "%c" : "\\x%02X", code);
                text += escaped;
            }
        }
        return text + "]";
    };
    for (size_t row = 0; row < actual.size() && row < expected.size(); ++row) {
        if (actual[row] != expected[row]) {
            return "row " + std::to_string(row) + ": " + show(actual[row]) + " expected " +
                   show(expected[row]);
        }
    }
    if (actual.size() != expected.size()) {
        return std::to_string(actual.size()) + " rows, expected " + std::to_string(expected.size());
    }
    return "";
}

std::optional<FinishedSurvey> SurveyToTheEnd(SurveyEngine& engine, const char* hanging,
                                             DWORD wait) {
    const DWORD start = ::GetTickCount();
    if (!engine.Start() || !engine.WaitFinished(std::chrono::milliseconds(wait))) {
        return std::nullopt;
    }
    std::optional<FinishedSurvey> finished;
    for (;;) {
        SurveyEngine::News news = engine.Take();
        if (news.rows) finished = FinishedSurvey{std::move(*news.rows), news.rowsSurvey};
        if (finished && finished->survey == news.survey &&
            std::all_of(finished->rows.begin(), finished->rows.end(), [&](const PortRow& row) {
                return !row.pending || (hanging && row.port == hanging);
            })) {
            return finished;
        }
        if (::GetTickCount() - start > wait) return std::nullopt;
        ::Sleep(5);
    }
}
