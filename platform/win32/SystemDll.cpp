#include "platform/win32/SystemDll.h"

#include <string>

namespace zb::win32 {

FARPROC SystemDllFunction(const wchar_t* dll, const char* function) {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = ::GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
    if (length == 0 || length >= path.size())
        return nullptr;
    path.resize(length);
    path += L'\\';
    path += dll;
    HMODULE module = ::LoadLibraryW(path.c_str());
    return module ? ::GetProcAddress(module, function) : nullptr;
}

bool RunsUnderWine() {
    // Wine's ntdll, loaded in every process, exports its version; Windows'
    // has no such function.
    static const bool wine = [] {
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
    }();
    return wine;
}

}  // namespace zb::win32
