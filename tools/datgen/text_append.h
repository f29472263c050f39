#pragma once

// Appending numbers to a dat being built in memory, without the locale and
// allocations of a stream: both writers emit millions of them.

#include <charconv>
#include <cstdint>
#include <string>

namespace zfe::datgen {

inline void appendNumber(std::string& out, long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// Exactly `digits` lower-case hex digits, leading zeros included.
inline void appendHex(std::string& out, std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xf];
}

}  // namespace zfe::datgen
