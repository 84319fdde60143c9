// The one kind of unexpected failure. Thrown anywhere (logic or backend), it
// ends the program through App's failure path: a report box captioned
// "Zettelblick" with the number and description, then a non-zero exit.
#pragma once

#include <stdexcept>
#include <string>

namespace zb {

// Error numbers of the classic runtime error report, so that a failure reads
// the same on every platform.
enum ErrorNumber : int {
    kErrInvalidArgument = 5,    // Invalid procedure call or argument
    kErrOverflow = 6,           // Overflow
    kErrOutOfMemory = 7,        // Out of memory
    kErrTypeMismatch = 13,      // Type mismatch
    kErrInternal = 51,          // Internal error
    kErrFileNotFound = 53,      // File not found
    kErrPermissionDenied = 70,  // Permission denied
    kErrPathFileAccess = 75,    // Path/File access error
    kErrPathNotFound = 76,      // Path not found
    kErrInvalidProperty = 380,  // Invalid property value
    kErrInvalidPicture = 481,   // Invalid picture
};

class Failure : public std::runtime_error {
public:
    Failure(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

// The standard description of a runtime error number.
const char* ErrorDescription(int number);

// A failure with the standard description of `number`, followed by
// ": detail" when a detail (a file name, the system's own text) is given.
Failure MakeFailure(int number, const std::string& detail = {});

// What the system's refusal of an operation on a file amounts to.
enum class FileError {
    NotFound,  // the file or a folder of its path does not exist
    Refused,   // no permission, a read-only medium, a file in use
    Other,
};

// The failure `number` about `subject`, which the system refused with its
// own text `systemText`: "description: subject: systemText".
Failure SystemFailure(int number, const std::string& subject, const std::string& systemText);

// The error number of a refused operation on a file: `notFoundNumber` for a
// missing file or folder, Permission denied (70) for a refused access, else
// Path/File access error (75).
int FileErrorNumber(FileError error, int notFoundNumber);

// An operation on `path` failed: a missing file or folder gives
// `notFoundNumber`, a refused access Permission denied (70), anything else
// Path/File access error (75).
Failure PathFailure(FileError error,
                    int notFoundNumber,
                    const std::string& path,
                    const std::string& systemText);

// The failure `number` about the setting `setting` (section.key) whose value
// `value` (as written: a text in quotes) was refused, and what it expects:
// "description: setting = value (expected ...)".
Failure SettingFailure(int number,
                       const std::string& setting,
                       const std::string& value,
                       const std::string& expected);

// `failure` (about a file, say) told about the setting that named it:
// "description: setting = value (expected ...): the failure's own detail".
Failure SettingFailure(const Failure& failure,
                       const std::string& setting,
                       const std::string& value,
                       const std::string& expected);

// A value as the failure texts show a text setting: in double quotes.
std::string Quoted(const std::string& value);

// The subject of the failure `number` about `path`, a file the program must
// create or delete in its own folders (a lock file): for a refused access
// (Permission denied) it says what the user can do.
std::string WriteSubject(int number, const std::string& path);

// A lock file `path` could not be created or deleted: PathFailure with Path
// not found (76) for a missing folder, its subject WriteSubject's.
Failure LockFileFailure(FileError error, const std::string& path, const std::string& systemText);

// "Run-time error 'N':\n\ndescription" as the report box shows it.
std::string FailureReportText(const Failure& failure);

}  // namespace zb
