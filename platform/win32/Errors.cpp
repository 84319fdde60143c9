#include "platform/win32/Errors.h"

#include <cstdio>

#include "platform/win32/Text.h"

namespace zb::win32 {

std::string SystemErrorText(DWORD error) {
    // A Win32 error wrapped in an HRESULT is looked up as the error itself.
    if (HRESULT_FACILITY(error) == FACILITY_WIN32 && (error & 0x80000000u))
        error = HRESULT_CODE(error);
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer)
        text.assign(buffer, length);
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, (error & 0x80000000u) ? "error 0x%08lX" : "error %lu",
                      static_cast<unsigned long>(error));
        return number;
    }
    return WideToUtf8(text);
}

Failure SystemFailure(int number, const std::string& subject, DWORD error) {
    return zb::SystemFailure(number, subject, SystemErrorText(error));
}

namespace {

FileError KindOf(DWORD error) {
    FileError kind = FileError::Other;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            kind = FileError::NotFound;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            kind = FileError::Refused;
            break;
        default:
            break;
    }
    return kind;
}

}  // namespace

Failure PathFailure(DWORD error, int notFoundNumber, const std::string& path) {
    return zb::PathFailure(KindOf(error), notFoundNumber, path, SystemErrorText(error));
}

Failure LockFileFailure(DWORD error, const std::string& path) {
    return zb::LockFileFailure(KindOf(error), path, SystemErrorText(error));
}

}  // namespace zb::win32
