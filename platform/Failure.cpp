#include "platform/Failure.h"

namespace zb {

const char* ErrorDescription(int number) {
    switch (number) {
        case kErrInvalidArgument:
            return "Invalid procedure call or argument";
        case kErrOverflow:
            return "Overflow";
        case kErrOutOfMemory:
            return "Out of memory";
        case kErrInternal:
            return "Internal error";
        case kErrTypeMismatch:
            return "Type mismatch";
        case kErrFileNotFound:
            return "File not found";
        case kErrPermissionDenied:
            return "Permission denied";
        case kErrPathFileAccess:
            return "Path/File access error";
        case kErrPathNotFound:
            return "Path not found";
        case kErrInvalidProperty:
            return "Invalid property value";
        case kErrInvalidPicture:
            return "Invalid picture";
        default:
            return "Application-defined or object-defined error";
    }
}

Failure MakeFailure(int number, const std::string& detail) {
    std::string text = ErrorDescription(number);
    if (!detail.empty())
        text += ": " + detail;
    return Failure(number, text);
}

Failure SystemFailure(int number, const std::string& subject, const std::string& systemText) {
    return MakeFailure(number, subject + ": " + systemText);
}

Failure PathFailure(FileError error,
                    int notFoundNumber,
                    const std::string& path,
                    const std::string& systemText) {
    int number = kErrPathFileAccess;
    if (error == FileError::NotFound)
        number = notFoundNumber;
    else if (error == FileError::Refused)
        number = kErrPermissionDenied;
    return SystemFailure(number, path, systemText);
}

std::string FailureReportText(const Failure& failure) {
    return "Run-time error '" + std::to_string(failure.number()) + "':\n\n" + failure.description();
}

}  // namespace zb
