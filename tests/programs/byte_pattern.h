#pragma once

// The bytes that the stand-in programs write on request and that the tests
// expect back: every byte value occurs, and no period divides the capture's
// read size, so a byte that lands in the wrong place shows.

#include <cstdint>
#include <string>

namespace zfe::testsupport {

inline std::uint8_t patternByte(std::int64_t offset) {
    return static_cast<std::uint8_t>((offset * 7 + offset / 251) % 256);
}

// `size` pattern bytes starting at `offset`.
inline std::string patternBytes(std::int64_t size, std::int64_t offset = 0) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    for (std::int64_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(patternByte(offset + i)));
    return bytes;
}

// Every kind of line end and two bytes that are not text, which a capture must
// store unchanged.
inline constexpr const char* kLineEnds = "cr\rlf\ncrlf\r\nlfcr\n\r\xE8\xFF end";

}  // namespace zfe::testsupport
