// 8-bit text in a code page, as the system's wide text.
#pragma once

#include <string>

#include "base/platform.h"

inline std::wstring WideFromCodePage(UINT codePage, const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, &wide[0], wideLength);
    return wide;
}
