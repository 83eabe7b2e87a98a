#include "cli/console_output.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "cli/system_text.h"
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using Stream = DWORD;
const Stream kOutput = STD_OUTPUT_HANDLE;
const Stream kError = STD_ERROR_HANDLE;

// Older consoles refuse large writes, so the text goes in pieces, never splitting a pair of
// surrogates.
Written WriteToConsole(HANDLE console, const std::wstring& text) {
    constexpr size_t kPiece = 8192;
    for (size_t done = 0; done < text.size();) {
        size_t piece = std::min(text.size() - done, kPiece);
        if (piece == kPiece && IS_HIGH_SURROGATE(text[done + piece - 1])) --piece;
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data() + done, static_cast<DWORD>(piece), &written,
                             nullptr) ||
            written == 0) {
            return Written::Failed;
        }
        done += written;
    }
    return Written::All;
}

Written Write(Stream stream, const std::string& text) {
    const HANDLE handle = ::GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return text.empty() ? Written::All : Written::Failed;
    }
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) return WriteToConsole(handle, Utf8ToWide(text));
    for (size_t done = 0; done < text.size();) {
        DWORD written = 0;
        if (!::WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr) ||
            written == 0) {
            const DWORD error = ::GetLastError();
            // "The pipe is being closed" and "The pipe has been ended": its reader has left.
            return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ? Written::ReaderGone
                                                                        : Written::Failed;
        }
        done += written;
    }
    return Written::All;
}
#else
using Stream = int;
const Stream kOutput = STDOUT_FILENO;
const Stream kError = STDERR_FILENO;

Written Write(Stream stream, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(stream, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EPIPE || errno == ECONNRESET)) return Written::ReaderGone;
        if (written <= 0) return Written::Failed;
        done += static_cast<size_t>(written);
    }
    return Written::All;
}
#endif

}  // namespace

void KeepRunningWhenReaderLeaves() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

Written WriteToStandardOutput(const std::string& utf8) { return Write(kOutput, utf8); }
bool WriteToStandardError(const std::string& utf8) { return Write(kError, utf8) == Written::All; }
