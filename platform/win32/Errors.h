// The one way the Windows backend reports an unexpected failure with the
// system's own text: "description: subject: FormatMessage text".
#pragma once

#include <string>

#include "platform/Failure.h"
#include "platform/win32/Win32.h"

namespace zb::win32 {

// The system's own description of an error number (GetLastError or an
// HRESULT), as UTF-8 without the trailing line end.
std::string SystemErrorText(DWORD error);

// The failure `number` about `subject`, which the system refused with `error`.
Failure SystemFailure(int number, const std::string& subject, DWORD error);

// A file operation on `path` failed with `error`: a missing file or folder
// gives `notFoundNumber`, a refused access Permission denied (70), anything
// else (a name with wildcards or a colon, say) Path/File access error (75).
Failure PathFailure(DWORD error, int notFoundNumber, const std::string& path);

// PathFailure (Path not found for a missing folder) about a lock file, which
// the program creates and deletes in its own folders: a refused access says
// what the user can do (WriteSubject).
Failure LockFileFailure(DWORD error, const std::string& path);

}  // namespace zb::win32
