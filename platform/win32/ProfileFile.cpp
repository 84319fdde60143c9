#include "platform/win32/ProfileFile.h"

#include <string_view>

#include "platform/win32/Text.h"
#include "platform/win32/Win32.h"

namespace zb::win32 {
namespace {

// The copy's name beside the file: "." + the file's name (at most 200
// characters, within the usual 255) + "." + six letters or digits.
constexpr std::size_t kCopyBaseChars = 200;
constexpr std::size_t kCopySuffixChars = 6;
constexpr wchar_t kCopyLetters[] =
    L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// The attributes of the settings file that its replacement keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// A copy nobody has written to for this long was left by a killed write.
constexpr ULONGLONG kStaleCopyTicks = 60ULL * 10000000ULL;  // 60 s in 100 ns

// A handle closed when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    bool Close() {
        const bool closed = valid() && ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// Deletes the copies of earlier writes to the same file that a kill left:
// only names of the copies' pattern, only files untouched for a minute (a
// write in progress is far younger), and never one that is open.
void RemoveStaleCopies(const std::wstring& dir, const std::wstring& prefix) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((dir + prefix + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    do {
        const std::wstring_view name = entry.cFileName;
        if (name.size() != prefix.size() + kCopySuffixChars ||
            name.substr(prefix.size()).find_first_not_of(kCopyLetters) != std::wstring_view::npos ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            Ticks(now) - Ticks(entry.ftLastWriteTime) < kStaleCopyTicks)
            continue;
        ::DeleteFileW((dir + std::wstring(name)).c_str());
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

// Six letters or digits, different on each call.
std::wstring CopySuffix() {
    static ULONGLONG state = 0;
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    state ^= static_cast<ULONGLONG>(counter.QuadPart) ^ (ULONGLONG{::GetCurrentProcessId()} << 40);
    std::wstring suffix;
    for (std::size_t i = 0; i < kCopySuffixChars; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += kCopyLetters[(state >> 33) % (std::size(kCopyLetters) - 1)];
    }
    return suffix;
}

// Appends the whole of `from` to `to`.
bool CopyContents(HANDLE from, HANDLE to) {
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(from, buffer, sizeof buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        DWORD written = 0;
        if (!::WriteFile(to, buffer, read, &written, nullptr) || written != read)
            return false;
    }
}

// Fills the new copy `copy` (open, empty) and writes the keys into it.
bool FillCopy(HANDLE original,
              Handle& copy,
              const std::wstring& copyPath,
              const std::string& section,
              const std::vector<std::pair<std::string, std::string>>& keys) {
    if (original != INVALID_HANDLE_VALUE && !CopyContents(original, copy.get()))
        return false;
    // The profile function opens the file without sharing: the copy is
    // closed while it works, and opened again to flush it.
    if (!copy.Close())
        return false;
    const std::wstring sectionName = Utf8ToWide(section);
    for (const auto& [key, value] : keys) {
        if (!::WritePrivateProfileStringW(sectionName.c_str(), Utf8ToWide(key).c_str(),
                                          Utf8ToWide(value).c_str(), copyPath.c_str()))
            return false;
    }
    // Hands on whatever the profile functions still cache of the file.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, copyPath.c_str());
    Handle flush(::CreateFileW(copyPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return flush.valid() && ::FlushFileBuffers(flush.get()) && flush.Close();
}

}  // namespace

bool WriteProfileKeys(const std::string& file,
                      const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& keys) {
    const std::wstring path = Utf8ToWide(file);
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring dir =
        slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring name = path.substr(dir.size());
    if (name.empty())
        return false;
    const std::wstring prefix = L"." + name.substr(0, kCopyBaseChars) + L".";
    RemoveStaleCopies(dir, prefix);

    // The file as it is now; a missing one is made by the write. It is
    // opened for writing too, though only read: the replacement below would
    // otherwise pass over a read-only mark or a permission that keeps this
    // user from writing the file, which then stays as it is.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    Handle original(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!original.valid() && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return false;

    std::wstring copyPath;
    Handle copy(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !copy.valid(); ++attempt) {
        copyPath = dir + prefix + CopySuffix();
        copy.Reset(::CreateFileW(copyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!copy.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (!copy.valid())
        return false;

    bool written = FillCopy(original.get(), copy, copyPath, section, keys);
    original.Close();
    // The copy takes the file's attributes (hidden, say) and replaces it in
    // one rename. ReplaceFileW is not used: Wine's moves the file aside
    // into an "rf" temporary file of its own first, and leaves that file
    // behind when several writes meet.
    if (written && attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(copyPath.c_str(), attributes & kKeptAttributes);
    written = written && ::MoveFileExW(copyPath.c_str(), path.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!written)
        ::DeleteFileW(copyPath.c_str());
    return written;
}

}  // namespace zb::win32
