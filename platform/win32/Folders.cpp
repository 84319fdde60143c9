#include "platform/win32/Folders.h"

#include <shlobj.h>

#include "platform/Folders.h"
#include "platform/win32/SystemDll.h"
#include "platform/win32/Text.h"

namespace zb::win32 {
namespace {

constexpr char kFolderName[] = "Zettelblick";

// A known folder's path, without a trailing separator; empty when the
// system names none (a profile without it).
std::string KnownFolder(REFKNOWNFOLDERID id) {
    // The shell's DLL is loaded only by an installed program, which asks.
    using KnownFolderPath = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    static const auto known =
        SystemFunction<KnownFolderPath>(L"shell32.dll", "SHGetKnownFolderPath");
    wchar_t* path = nullptr;
    std::string folder;
    if (known && SUCCEEDED(known(id, 0, nullptr, &path)) && path)
        folder = WideToUtf8(path);
    ::CoTaskMemFree(path);
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

}  // namespace

bool FolderIsWritable(const std::string& dir) {
    const std::wstring base = Utf8ToWide(dir) + (dir.empty() || dir.back() == '\\' ? L"" : L"\\") +
                              L"zettelblick-write-test-" + std::to_wstring(::GetCurrentProcessId());
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::wstring name = base + L"-" + std::to_wstring(attempt) + L".tmp";
        // DELETE with FILE_FLAG_DELETE_ON_CLOSE: the folder must let this
        // user delete the file as well as create it, and the file goes with
        // the handle.
        HANDLE file = ::CreateFileW(
            name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

bool MakeFolder(const std::string& path) {
    const std::wstring name = Utf8ToWide(path);
    if (::CreateDirectoryW(name.c_str(), nullptr))
        return true;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasInstallMark(const std::string& dir) {
    const std::wstring mark = Utf8ToWide(dir) + (dir.empty() || dir.back() == '\\' ? L"" : L"\\") +
                              Utf8ToWide(kInstallMark);
    const DWORD attributes = ::GetFileAttributesW(mark.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

AppFolders ChooseFolders(const std::string& exeDir) {
    // The installer's mark decides first: an administrator, a user without
    // UAC or a Wine prefix may write Program Files, and the copy stays an
    // installed one. Without the mark the folder's permission decides.
    if (!HasInstallMark(exeDir) && FolderIsWritable(exeDir))
        return ChooseAppFolders(exeDir, true, {}, {});
    const std::string roaming = KnownFolder(FOLDERID_RoamingAppData);
    if (roaming.empty())
        return ChooseAppFolders(exeDir, true, {}, {});
    const std::string settings = roaming + "\\" + kFolderName;
    const std::string local = KnownFolder(FOLDERID_LocalAppData);
    std::string locks = local.empty() ? std::string() : local + "\\" + kFolderName;
    if (locks.empty() || !MakeFolder(locks)) {
        // A folder that cannot be made shows up as the lock's own failure.
        MakeFolder(settings);
        locks = settings;
    }
    return ChooseAppFolders(exeDir, false, settings, locks);
}

}  // namespace zb::win32
