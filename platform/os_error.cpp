#include "platform/os_error.h"

#include <utility>

namespace zfe::platform {

OsError::OsError(int errorNumber, std::string subject)
    : OsError(errorNumber, std::move(subject), describeError(errorNumber)) {}

OsError::OsError(int errorNumber, std::string subject, std::string reason)
    : std::runtime_error(subject + ": " + reason),
      errorNumber_(errorNumber),
      subject_(std::move(subject)),
      reason_(std::move(reason)) {}

}  // namespace zfe::platform
