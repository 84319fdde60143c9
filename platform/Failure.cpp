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

int FileErrorNumber(FileError error, int notFoundNumber) {
    if (error == FileError::NotFound)
        return notFoundNumber;
    return error == FileError::Refused ? kErrPermissionDenied : kErrPathFileAccess;
}

Failure PathFailure(FileError error,
                    int notFoundNumber,
                    const std::string& path,
                    const std::string& systemText) {
    return SystemFailure(FileErrorNumber(error, notFoundNumber), path, systemText);
}

Failure LockFileFailure(FileError error, const std::string& path, const std::string& systemText) {
    const int number = FileErrorNumber(error, kErrPathNotFound);
    return SystemFailure(number, WriteSubject(number, path), systemText);
}

Failure SettingFailure(int number,
                       const std::string& setting,
                       const std::string& value,
                       const std::string& expected) {
    return MakeFailure(number, setting + " = " + value + " (expected " + expected + ")");
}

Failure SettingFailure(const Failure& failure,
                       const std::string& setting,
                       const std::string& value,
                       const std::string& expected) {
    // The failure's detail: its text after the standard description.
    std::string detail = failure.description();
    const std::string description = ErrorDescription(failure.number());
    if (detail.compare(0, description.size(), description) == 0)
        detail.erase(0, description.size());
    if (detail.compare(0, 2, ": ") == 0)
        detail.erase(0, 2);
    Failure about = SettingFailure(failure.number(), setting, value, expected);
    return detail.empty() ? about : Failure(about.number(), about.description() + ": " + detail);
}

std::string Quoted(const std::string& value) {
    return "\"" + value + "\"";
}

std::string WriteSubject(int number, const std::string& path) {
    if (number != kErrPermissionDenied)
        return path;
    return path + " (its folder must be writable, or the program installed)";
}

std::string FailureReportText(const Failure& failure) {
    return "Run-time error '" + std::to_string(failure.number()) + "':\n\n" + failure.description();
}

}  // namespace zb
