// Texts are compared as the runtime compares multibyte strings: byte by byte, a lead byte and
// its trail byte as one character, case-sensitive, no locale collation.
#pragma once

#ifdef _WIN32
#include <mbstring.h>
#else
#include <cstring>
#endif

inline int CompareMultiByte(const char* a, const char* b) {
#ifdef _WIN32
    return _mbscmp(reinterpret_cast<const unsigned char*>(a),
                   reinterpret_cast<const unsigned char*>(b));
#else
    // No double-byte code pages here; strcmp compares bytes as unsigned.
    return std::strcmp(a, b);
#endif
}
