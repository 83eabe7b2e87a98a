#include "cli/system_text.h"

#ifdef _WIN32
#include "base/wide_text.h"

std::wstring Utf8ToWide(const std::string& utf8) { return WideFromCodePage(CP_UTF8, utf8); }

std::string SystemTextToUtf8(const std::string& text) {
    const std::wstring wide = WideFromCodePage(CP_ACP, text);
    const int wideLength = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    // Unconvertible text goes out as it is; the JSON writer still replaces what is not UTF-8.
    if (length <= 0) return text;
    std::string utf8(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, nullptr, nullptr);
    return utf8;
}
#else
std::string SystemTextToUtf8(const std::string& text) { return text; }
#endif

void ConvertRowsToUtf8(PortRows& rows) {
    for (PortRow& row : rows) {
        for (std::string* text :
             {&row.device, &row.port, &row.facts.description, &row.facts.manufacturer,
              &row.facts.hardwareId, &row.facts.vid, &row.facts.pid, &row.facts.serial,
              &row.facts.bus, &row.facts.location, &row.facts.driver, &row.facts.usbInterface,
              &row.facts.byId, &row.facts.byPath}) {
            *text = SystemTextToUtf8(*text);
        }
        for (PortHolder& holder : row.holders) holder.name = SystemTextToUtf8(holder.name);
    }
}
