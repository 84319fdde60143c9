#include "platform/posix/Errors.h"

#include <cerrno>
#include <cstring>

namespace zb::posix {

Failure SystemFailure(int number, const std::string& subject, int error) {
    return MakeFailure(number, subject + ": " + std::strerror(error));
}

namespace {

int PathErrorNumber(int error, int notFoundNumber) {
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
    return number;
}

}  // namespace

Failure PathFailure(int error, int notFoundNumber, const std::string& path) {
    return SystemFailure(PathErrorNumber(error, notFoundNumber), path, error);
}

Failure LockFileFailure(int error, const std::string& path) {
    const int number = PathErrorNumber(error, kErrPathNotFound);
    return SystemFailure(number, WriteSubject(number, path), error);
}

}  // namespace zb::posix
