#include "platform/posix/Errors.h"

#include <cerrno>
#include <cstring>

namespace zb::posix {

Failure SystemFailure(int number, const std::string& subject, int error) {
    return zb::SystemFailure(number, subject, std::strerror(error));
}

namespace {

FileError KindOf(int error) {
    FileError kind = FileError::Other;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            kind = FileError::NotFound;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            kind = FileError::Refused;
            break;
        default:
            break;
    }
    return kind;
}

}  // namespace

Failure PathFailure(int error, int notFoundNumber, const std::string& path) {
    return zb::PathFailure(KindOf(error), notFoundNumber, path, std::strerror(error));
}

Failure LockFileFailure(int error, const std::string& path) {
    return zb::LockFileFailure(KindOf(error), path, std::strerror(error));
}

}  // namespace zb::posix
