#include <cstring>
#include <string>

#include "platform/os_error.h"

namespace zfe::platform {

namespace {

// strerror_r comes in two shapes depending on the C library: the XSI one fills
// the buffer and returns a status, the GNU one returns the text (which may not
// be in the buffer at all).
[[maybe_unused]] std::string textOf(int status, const char* buffer, int errorNumber) {
    if (status != 0) return "Error " + std::to_string(errorNumber);
    return buffer;
}
[[maybe_unused]] std::string textOf(const char* text, const char*, int) {
    return text;
}

}  // namespace

std::string describeError(int errorNumber) {
    char buffer[256] = {};
    return textOf(strerror_r(errorNumber, buffer, sizeof buffer), buffer, errorNumber);
}

}  // namespace zfe::platform
