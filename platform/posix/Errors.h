// The one way the POSIX code reports an unexpected failure with the system's
// own text: "description: subject: strerror text".
#pragma once

#include <string>

#include "platform/Failure.h"

namespace zb::posix {

// The failure `number` about `subject`, which the system refused with `error`.
Failure SystemFailure(int number, const std::string& subject, int error);

// A call on `path` failed with `error`: a missing file or folder gives
// `notFoundNumber`, a refused access Permission denied (70), anything else
// Path/File access error (75): zb::PathFailure with errno's kind and text.
Failure PathFailure(int error, int notFoundNumber, const std::string& path);

// PathFailure (Path not found for a missing folder) about a lock file, which
// the program creates and deletes in its own folders: a refused access says
// what the user can do (WriteSubject).
Failure LockFileFailure(int error, const std::string& path);

}  // namespace zb::posix
