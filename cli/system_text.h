// Text as the system hands it over, made UTF-8 for output.
#pragma once

#include <string>

#include "ports/engine/port_survey.h"

// On Windows the text is in the ANSI code page; elsewhere it is UTF-8 already, or bytes that
// stay as they are.
std::string SystemTextToUtf8(const std::string& text);

// Every text of the rows; after the probe, which needs the system's own port names.
void ConvertRowsToUtf8(PortRows& rows);

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& utf8);
#endif
