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

}  // namespace

CapturedRun RunCaptured(const std::string& path, const std::string& arguments, DWORD milliseconds) {
    CapturedRun run;
    KernelHandle outRead, outWrite, errorRead, errorWrite;
    if (!MakePipe(&outRead, &outWrite) || !MakePipe(&errorRead, &errorWrite)) return run;
    std::string commandLine = "\"" + path + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errorWrite.Get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info)) {
        return run;
    }
    const KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
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
