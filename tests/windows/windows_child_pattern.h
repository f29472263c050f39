#pragma once

#include <cstdint>

namespace zfe::wintest {

// The bytes the stand-in child writes for "pattern:N": every value occurs, and
// a shifted or dropped block shows as a mismatch.
inline unsigned char testPatternByte(std::int64_t index) {
    return static_cast<unsigned char>((index * 7 + index / 256) & 0xFF);
}

inline constexpr const char* kLineEnds = "cr\rlf\ncrlf\r\nlfcr\n\r\xE8\xFF end";

}  // namespace zfe::wintest
