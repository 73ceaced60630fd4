#include "core/IoError.h"

#include <cerrno>

namespace vardelo {

std::string ioErrorMessage(int code) {
    switch (code) {
    case IoFileNotFound:
        return "File not found";
    case IoInvalidFilename:
        return "Invalid filename";
    case IoTooManyOpenFiles:
        return "Too many open files";
    case IoAccessDenied:
        return "File access denied";
    case IoReadBeyondEnd:
        return "Read beyond end of file";
    case IoDiskFull:
        return "Disk full";
    case IoInvalidNumericInput:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

int ioCodeFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return IoFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return IoInvalidFilename;
    case EMFILE:
    case ENFILE:
        return IoTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return IoAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return IoDiskFull;
    case EIO:
        return 1117; // the system's "I/O device error"
    default:
        // Kept clear of the runtime's own small codes, which errno reuses.
        return 1000 + error;
    }
}

std::string withFinalPeriod(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        message += '.';
    return message;
}

} // namespace vardelo
