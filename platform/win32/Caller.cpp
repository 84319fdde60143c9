#include "platform/win32/Caller.h"

#include "platform/win32/Win32.h"  // before any other Windows header

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace zb::win32 {
namespace {

// The environment entry that hands the second process its end of the pipe.
constexpr const wchar_t* kLinkVariable = L"ZETTELBLICK_CALLER_LINK";

// The second process's end of the pipe to the first; null when there is none
// or the status has been sent.
HANDLE gCallerLink = nullptr;

}  // namespace

std::wstring ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        // A full buffer may hold a cut path: try again with a larger one.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool TakeCallerLink() {
    wchar_t value[32];
    const DWORD length = ::GetEnvironmentVariableW(kLinkVariable, value, 32);
    if (length == 0 || length >= 32)
        return false;
    ::SetEnvironmentVariableW(kLinkVariable, nullptr);
    const auto handle =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(value, nullptr, 10)));
    // Kept from every program this process starts: a program started by a
    // click must never hold the caller up.
    if (!::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0))
        return false;
    gCallerLink = handle;
    return true;
}

std::optional<int> RunApart() {
    const std::wstring program = ModuleFileName();
    if (program.empty())
        return std::nullopt;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0))
        return std::nullopt;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    wchar_t value[32];
    std::swprintf(value, 32, L"%llu",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(writeEnd)));
    ::SetEnvironmentVariableW(kLinkVariable, value);
    std::wstring commandLine = ::GetCommandLineW();
    // The second process inherits the link and nothing else, and gets no
    // standard handles: a caller that reads this process's output to its
    // end is not held by the second one.
    SIZE_T listSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<unsigned char> list(listSize);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = INVALID_HANDLE_VALUE;
    startup.StartupInfo.hStdOutput = INVALID_HANDLE_VALUE;
    startup.StartupInfo.hStdError = INVALID_HANDLE_VALUE;
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    DWORD flags = DETACHED_PROCESS;
    if (::InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &listSize)) {
        if (::UpdateProcThreadAttribute(startup.lpAttributeList, 0,
                                        PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &writeEnd,
                                        sizeof writeEnd, nullptr, nullptr))
            flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                         nullptr, nullptr, &startup.StartupInfo, &process);
    if (flags & EXTENDED_STARTUPINFO_PRESENT)
        ::DeleteProcThreadAttributeList(startup.lpAttributeList);
    ::SetEnvironmentVariableW(kLinkVariable, nullptr);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        return std::nullopt;
    }
    ::CloseHandle(process.hThread);
    // The right to come to the foreground that this process got from its
    // caller passes on, for the message boxes of the notification's process.
    ::AllowSetForegroundWindow(process.dwProcessId);

    unsigned char status = 0;
    DWORD read = 0;
    DWORD exitCode = 1;
    int result;
    if (::ReadFile(readEnd, &status, 1, &read, nullptr) && read == 1) {
        result = status;
    } else {
        // Ended without a word (killed): its exit status says what it can.
        ::WaitForSingleObject(process.hProcess, INFINITE);
        result = ::GetExitCodeProcess(process.hProcess, &exitCode) ? static_cast<int>(exitCode) : 1;
    }
    ::CloseHandle(readEnd);
    ::CloseHandle(process.hProcess);
    return result;
}

void ReleaseCaller(int status) {
    if (!gCallerLink)
        return;
    const auto byte = static_cast<unsigned char>(status);
    DWORD written = 0;
    ::WriteFile(gCallerLink, &byte, 1, &written, nullptr);
    ::CloseHandle(gCallerLink);
    gCallerLink = nullptr;
}

}  // namespace zb::win32
