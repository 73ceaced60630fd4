#pragma once

#include <stdexcept>
#include <string>

namespace vardelo {

// The program's file errors carry the classic runtime codes (2 "File not
// found", 5 "File access denied", 101 "Disk full", ...) and their messages.
enum IoCode {
    IoFileNotFound = 2,
    IoInvalidFilename = 3,
    IoTooManyOpenFiles = 4,
    IoAccessDenied = 5,
    IoReadBeyondEnd = 100,
    IoDiskFull = 101,
    IoInvalidNumericInput = 106,
};

std::string ioErrorMessage(int code);

// Maps a system errno to the runtime's code; other errors get 1000 + errno.
int ioCodeFromErrno(int error);

class IoError : public std::runtime_error {
  public:
    explicit IoError(int code) : std::runtime_error(ioErrorMessage(code)), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// Any failure the program reports to the user in its standard error box.
class UserError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The error box adds a final "." when the message's last character sorts
// above ".".
std::string withFinalPeriod(std::string message);

} // namespace vardelo
