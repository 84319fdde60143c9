#include "platform/posix/Errors.h"

#include <cerrno>
#include <cstring>

namespace zb::posix {

Failure SystemFailure(int number, const std::string& subject, int error) {
    return MakeFailure(number, subject + ": " + std::strerror(error));
}

Failure PathFailure(int error, int notFoundNumber, const std::string& path) {
    int number = kErrPathFileAccess;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            number = notFoundNumber;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = kErrPermissionDenied;
            break;
        default:
            break;
    }
    return SystemFailure(number, path, error);
}

}  // namespace zb::posix
