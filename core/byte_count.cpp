#include "core/byte_count.h"

namespace zfe::core {

std::string withThousandsSeparators(std::int64_t count) {
    const bool negative = count < 0;
    // Through the unsigned type, so that the lowest value has a magnitude too.
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
    std::string text;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) text.insert(text.begin(), '.');
        text.insert(text.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    return negative ? "-" + text : text;
}

std::string byteCountText(std::int64_t bytes) {
    return withThousandsSeparators(bytes) + " byte";
}

}  // namespace zfe::core
