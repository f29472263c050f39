#pragma once

#include <stdexcept>
#include <string>

namespace zfe::platform {

// A failed operating-system call. It carries the path or command line that the
// call concerned and the platform's own error number and text, so that the
// window can say what failed, on what, and why.
class OsError : public std::runtime_error {
public:
    OsError(int errorNumber, std::string subject);
    OsError(int errorNumber, std::string subject, std::string reason);

    int errorNumber() const noexcept { return errorNumber_; }
    // The path or command line the failed call was about.
    const std::string& subject() const noexcept { return subject_; }
    // The platform's description of the error number.
    const std::string& reason() const noexcept { return reason_; }

private:
    int errorNumber_;
    std::string subject_;
    std::string reason_;
};

// The platform's text for an error number: strerror on POSIX, FormatMessage on
// Windows (errno values and GetLastError values respectively).
std::string describeError(int errorNumber);

}  // namespace zfe::platform
