#include "tests/win32/captured_run.h"

#include <thread>

namespace {

void ReadAll(HANDLE pipe, std::string* text) {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text->append(buffer, got);
    }
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

// Starts the program with its standard output and error on the given pipe ends.
bool Start(const std::string& path, const std::string& arguments, HANDLE out, HANDLE error,
           KernelHandle* process) {
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = error;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info)) {
        return false;
    }
    process->Reset(info.hProcess);
    ::CloseHandle(info.hThread);
    return true;
}

}  // namespace

RunningProgram::RunningProgram(const std::string& path, const std::string& arguments) {
    KernelHandle outWrite;
    if (MakePipe(&m_out, &outWrite)) {
        Start(path, arguments, outWrite.Get(), nullptr, &m_process);
    }
}

RunningProgram::~RunningProgram() {
    if (IsRunning()) ::TerminateProcess(m_process.Get(), 1);
}

bool RunningProgram::IsRunning() const {
    return m_process.IsValid() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

std::string RunningProgram::ReadLine(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            const std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        DWORD available = 0;
        char buffer[4096];
        DWORD got = 0;
        if (::PeekNamedPipe(m_out.Get(), nullptr, 0, nullptr, &available, nullptr) &&
            available > 0 && ::ReadFile(m_out.Get(), buffer, sizeof buffer, &got, nullptr)) {
            m_pending.append(buffer, got);
            continue;
        }
        if (::GetTickCount() - start > milliseconds) return {};
        ::Sleep(20);
    }
}

bool RunningProgram::WaitForExit(DWORD milliseconds, DWORD* exitCode) {
    return ::WaitForSingleObject(m_process.Get(), milliseconds) == WAIT_OBJECT_0 &&
           ::GetExitCodeProcess(m_process.Get(), exitCode);
}

CapturedRun RunCaptured(const std::string& path, const std::string& arguments, DWORD milliseconds) {
    CapturedRun run;
    KernelHandle outRead, outWrite, errorRead, errorWrite;
    if (!MakePipe(&outRead, &outWrite) || !MakePipe(&errorRead, &errorWrite)) return run;
    KernelHandle process;
    if (!Start(path, arguments, outWrite.Get(), errorWrite.Get(), &process)) return run;
    // Only the child holds the write ends now, so the reads end when it does.
    outWrite.Reset();
    errorWrite.Reset();
    std::thread outReader(ReadAll, outRead.Get(), &run.out);
    std::thread errorReader(ReadAll, errorRead.Get(), &run.error);
    run.ended = ::WaitForSingleObject(process.Get(), milliseconds) == WAIT_OBJECT_0 &&
                ::GetExitCodeProcess(process.Get(), &run.exitCode);
    if (!run.ended) ::TerminateProcess(process.Get(), 1);
    outReader.join();
    errorReader.join();
    return run;
}
