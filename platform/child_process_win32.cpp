#include "platform/child_process.h"

#include <windows.h>

#include "platform/stop_requests.h"
#include "platform/wide_text.h"

namespace platform {

namespace {

// One argument as the C runtime of the child splits its command line again.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string text = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

HANDLE handle(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (output_ != -1)
        CloseHandle(handle(output_));
    if (errors_ != -1)
        CloseHandle(handle(errors_));
    wait();
    if (process_ != -1)
        CloseHandle(handle(process_));
}

int ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
        return int(GetLastError());
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        const int error = int(GetLastError());
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return error;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);

    std::string line = quoted(program);
    for (const std::string& argument : arguments)
        line += " " + quoted(argument);
    std::wstring wideLine = platform::widen(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    // A process group of its own: Ctrl-C in the console reaches this program only, which passes
    // it on as Ctrl-Break.
    const BOOL started =
        CreateProcessW(platform::widen(program).c_str(), wideLine.data(), nullptr, nullptr, TRUE,
                       CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
    const int error = started ? 0 : int(GetLastError());
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        return error;
    }
    CloseHandle(info.hThread);
    process_ = reinterpret_cast<intptr_t>(info.hProcess);
    output_ = reinterpret_cast<intptr_t>(outRead);
    errors_ = reinterpret_cast<intptr_t>(errRead);
    return 0;
}

long ChildProcess::read(bool errors, char* buffer, size_t size) {
    const intptr_t pipe = errors ? errors_ : output_;
    if (pipe == -1)
        return -1;
    DWORD got = 0;
    if (!ReadFile(handle(pipe), buffer, DWORD(size), &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return long(got);
}

void ChildProcess::stop(int) {
    // Ctrl-C cannot be sent to another process group; the child takes Ctrl-Break as its stop
    // request.
    if (process_ != -1 && status_ < 0)
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(handle(process_)));
}

int ChildProcess::wait() {
    if (process_ == -1 || status_ >= 0)
        return status_;
    WaitForSingleObject(handle(process_), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(handle(process_), &code);
    status_ = int(code);
    return status_;
}

std::string ChildProcess::ownProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? platform::narrow(std::wstring_view(path, length))
                                           : std::string();
}

}  // namespace platform
