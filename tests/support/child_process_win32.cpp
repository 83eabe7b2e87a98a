// The Win32 half of the launcher. Waits run this thread's messages, as a program that another
// one activates, or sends to, must answer them while the test waits.
#include "tests/support/child_process.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// One argument as the C runtime's parser reads it back: quoted when it holds a space, a tab or
// a quote, or is empty; backslashes doubled only where a quote follows them.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        quoted += c;
    }
    return quoted.append(backslashes, '\\') + '"';
}

// A pipe whose write end alone is inherited.
bool MakePipe(KernelHandle* readEnd, KernelHandle* writeEnd) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!::CreatePipe(&reading, &writing, &inherited, 0)) return false;
    readEnd->Reset(reading);
    writeEnd->Reset(writing);
    return ::SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

// Moves what waits in the pipe to `text` without blocking; false once the pipe has ended.
bool Drain(const KernelHandle& pipe, std::string* text) {
    if (!pipe.IsValid()) return false;
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            // Once the writer has ended, what it wrote last may still wait in the pipe.
            if (::GetLastError() != ERROR_BROKEN_PIPE) return false;
            available = 4096;
        } else if (available == 0) {
            return true;
        }
        std::string chunk(available, '\0');
        DWORD got = 0;
        if (!::ReadFile(pipe.Get(), &chunk[0], available, &got, nullptr) || got == 0) return false;
        text->append(chunk, 0, got);
    }
}

// Waits up to `milliseconds` for `process` to end or a message to come, and runs the messages.
void WaitAWhile(HANDLE process, DWORD milliseconds) {
    ::MsgWaitForMultipleObjects(1, &process, FALSE, milliseconds, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

DWORD Left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, ChildOptions options) {
    std::string commandLine = Quoted(program);
    for (const std::string& argument : options.arguments) commandLine += " " + Quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    KernelHandle outWrite;
    KernelHandle errorWrite;
    if (options.captureOutput) {
        if (!MakePipe(&m_out, &outWrite) || !MakePipe(&m_error, &errorWrite)) return;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = outWrite.Get();
        startup.hStdError = errorWrite.Get();
    }
    const DWORD flags = options.ownConsole      ? CREATE_NEW_CONSOLE
                        : options.captureOutput ? CREATE_NO_WINDOW
                                                : 0;
    PROCESS_INFORMATION info{};
    // No program name of its own: a bare name is looked for as a command line would.
    if (::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, options.captureOutput, flags,
                         nullptr, nullptr, &startup, &info)) {
        m_process.Reset(info.hProcess);
        ::CloseHandle(info.hThread);
        m_id = info.dwProcessId;
        m_threadId = info.dwThreadId;
    }
    // Only the child holds the write ends now, so the pipes end when it does.
}

ChildProcess::~ChildProcess() {
    if (IsRunning()) {
        ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), 5000);
    }
}

bool ChildProcess::Started() const { return m_process.IsValid(); }

bool ChildProcess::IsRunning() const {
    return Started() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds patience) {
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        const bool open = Drain(m_out, &m_pending);
        Drain(m_error, &m_errorText);
        if (m_pending.find('\n') != std::string::npos) continue;
        if (!open || !Started() || Left(deadline) == 0) return {};
        WaitAWhile(m_process.Get(), 10);
    }
}

ChildRun ChildProcess::Finish(std::chrono::milliseconds patience) {
    ChildRun run;
    if (!Started()) return run;
    const Clock::time_point deadline = Clock::now() + patience;
    while (IsRunning() && Left(deadline) > 0) {
        Drain(m_out, &m_pending);
        Drain(m_error, &m_errorText);
        WaitAWhile(m_process.Get(), std::min<DWORD>(Left(deadline), 20));
    }
    DWORD code = 0;
    run.ended = !IsRunning() && ::GetExitCodeProcess(m_process.Get(), &code);
    if (run.ended) {
        run.exitCode = static_cast<int>(code);
    } else {
        ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), 5000);
    }
    Drain(m_out, &m_pending);
    Drain(m_error, &m_errorText);
    run.out.swap(m_pending);
    run.error.swap(m_errorText);
    return run;
}

ChildRun RunChild(const std::string& program, ChildOptions options,
                  std::chrono::milliseconds patience) {
    ChildProcess child(program, std::move(options));
    return child.Finish(patience);
}
