#include "platform/posix/Errors.h"

#include <cerrno>
#include <cstring>

namespace zb::posix {

Failure SystemFailure(int number, const std::string& subject, int error) {
    return zb::SystemFailure(number, subject, std::strerror(error));
}

Failure PathFailure(int error, int notFoundNumber, const std::string& path) {
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
    return zb::PathFailure(kind, notFoundNumber, path, std::strerror(error));
}

}  // namespace zb::posix
