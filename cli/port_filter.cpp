#include "cli/port_filter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <utility>

#include "cli/system_text.h"

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

// "0x0403", "0403" and "403" are one id; nothing for anything else.
std::optional<std::string> UsbId(std::string text) {
    text = Lower(std::move(text));
    if (text.compare(0, 2, "0x") == 0) text.erase(0, 2);
    const bool hex =
        !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        });
    if (!hex) return std::nullopt;
    return std::string(4 - text.size(), '0') + text;
}

const std::string& FieldText(const PortRow& row, PortMatch::Field field) {
    switch (field) {
        case PortMatch::Field::Port:
            return row.port;
        case PortMatch::Field::Device:
            return row.device;
        case PortMatch::Field::Vid:
            return row.facts.vid;
        case PortMatch::Field::Pid:
            return row.facts.pid;
        case PortMatch::Field::Serial:
            return row.facts.serial;
        case PortMatch::Field::Bus:
            return row.facts.bus;
        case PortMatch::Field::Description:
            return row.facts.description;
        case PortMatch::Field::ById:
            return row.facts.byId;
        case PortMatch::Field::ByPath:
            return row.facts.byPath;
        case PortMatch::Field::Manufacturer:
            break;
    }
    return row.facts.manufacturer;
}

#ifndef _WIN32
std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}
#endif

bool Holds(const PortRow& row, const PortMatch& match) {
    if (match.field == PortMatch::Field::Port) {
        // As --port names it, and in any case as the other fields match.
        const std::string port = Lower(row.port);
        const std::string value = Lower(match.value);
        return NamesPort(match.value, row.port) || port == value ||
               port.substr(port.rfind('/') + 1) == value;
    }
    const std::string text = Lower(FieldText(row, match.field));
    if (match.field == PortMatch::Field::Description ||
        match.field == PortMatch::Field::Manufacturer) {
        return text.find(match.value) != std::string::npos;
    }
    if ((match.field == PortMatch::Field::ById || match.field == PortMatch::Field::ByPath) &&
        !text.empty() && text.substr(text.rfind('/') + 1) == match.value) {
        return true;
    }
    return text == match.value;
}

}  // namespace

std::optional<PortMatch> ParsePortMatch(const std::string& text, std::string* problem) {
    constexpr std::pair<const char*, PortMatch::Field> kFields[] = {
        {"port", PortMatch::Field::Port},
        {"device", PortMatch::Field::Device},
        {"vid", PortMatch::Field::Vid},
        {"pid", PortMatch::Field::Pid},
        {"serial", PortMatch::Field::Serial},
        {"bus", PortMatch::Field::Bus},
        {"description", PortMatch::Field::Description},
        {"manufacturer", PortMatch::Field::Manufacturer},
        {"byid", PortMatch::Field::ById},
        {"bypath", PortMatch::Field::ByPath}};
    const size_t equals = text.find('=');
    const std::string name = Lower(text.substr(0, equals));
    const auto known = std::find_if(std::begin(kFields), std::end(kFields),
                                    [&name](const auto& field) { return name == field.first; });
    if (equals == std::string::npos || known == std::end(kFields)) {
        *problem =
            "--match needs FIELD=VALUE, FIELD one of port, device, vid, pid, serial, bus, "
            "description, manufacturer, byid, bypath (got '" +
            text + "')";
        return std::nullopt;
    }
    PortMatch match;
    match.field = known->second;
    match.given = text;
    match.value = SystemTextToUtf8(text.substr(equals + 1));
    if (match.field != PortMatch::Field::Port) match.value = Lower(match.value);
    if (match.field == PortMatch::Field::Vid || match.field == PortMatch::Field::Pid) {
        const std::optional<std::string> id = UsbId(match.value);
        if (!id) {
            *problem =
                "--match " + name + " needs a hex id such as 0403 or 0x0403 (got '" + text + "')";
            return std::nullopt;
        }
        match.value = *id;
    }
    return match;
}

bool NamesPort(const std::string& name, const std::string& port) {
#ifdef _WIN32
    return std::equal(name.begin(), name.end(), port.begin(), port.end(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
#else
    if (name == port) return true;
    if (name.find('/') == std::string::npos) return name == port.substr(port.rfind('/') + 1);
    // Another path to the same node, such as a /dev/serial/by-id link.
    const std::string node = RealPath(name);
    return !node.empty() && node == RealPath(port);
#endif
}

bool MatchesAll(const PortRow& row, const PortMatches& matches) {
    return std::all_of(matches.begin(), matches.end(),
                       [&row](const PortMatch& match) { return Holds(row, match); });
}

void KeepMatching(PortRows& rows, const PortMatches& matches) {
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&matches](const PortRow& row) { return !MatchesAll(row, matches); }),
               rows.end());
}

std::string DescribeMatches(const PortMatches& matches) {
    std::string text;
    for (const PortMatch& match : matches) {
        text += (text.empty() ? "--match " : " --match ") + SystemTextToUtf8(match.given);
    }
    return text;
}
