#pragma once

#include <cstdint>

namespace zfe::testsupport {

// Every byte value, and no period that divides the read size, so a byte that
// lands in the wrong place shows.
inline std::uint8_t patternByte(long long offset) {
    return static_cast<std::uint8_t>((offset * 7 + offset / 251) % 256);
}

}  // namespace zfe::testsupport
