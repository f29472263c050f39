#include "core/shown_text.h"

#include <cstdint>

namespace zfe::core {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void appendHex(std::string& out, std::uint32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xf];
}

bool isHidden(std::uint32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f) || codePoint == 0x061c ||
           codePoint == 0x200e || codePoint == 0x200f || codePoint == 0x2028 || codePoint == 0x2029 ||
           (codePoint >= 0x202a && codePoint <= 0x202e) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at the start of `text` and its
// code point, or 0 when it is not one (overlong forms and surrogates included).
std::size_t decode(std::string_view text, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xe0) == 0xc0) {
        length = 2, codePoint = lead & 0x1f, minimum = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, codePoint = lead & 0x0f, minimum = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xc0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(at) & 0x3f);
    }
    const bool surrogate = codePoint >= 0xd800 && codePoint <= 0xdfff;
    return codePoint < minimum || codePoint > 0x10ffff || surrogate ? 0 : length;
}

}  // namespace

std::string shownText(std::string_view text, bool keepLines) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        std::uint32_t codePoint = 0;
        const std::size_t length = decode(text, codePoint);
        const bool lineEnd = codePoint == '\n' || (codePoint == '\r' && text.size() > 1 && text[1] == '\n');
        if (length == 0) {
            out += "\\x";
            appendHex(out, static_cast<unsigned char>(text.front()), 2);
        } else if (!isHidden(codePoint) || (keepLines && (lineEnd || codePoint == '\t'))) {
            out.append(text.substr(0, length));
        } else if (codePoint == '\n' || codePoint == '\r' || codePoint == '\t') {
            out += codePoint == '\n' ? "\\n" : codePoint == '\r' ? "\\r" : "\\t";
        } else if (codePoint < 0x80) {
            out += "\\x";
            appendHex(out, codePoint, 2);
        } else {
            out += "\\u";
            appendHex(out, codePoint, 4);
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

std::string shownName(std::string_view utf8) {
    return "\u2068" + shownText(utf8) + "\u2069";
}

}  // namespace zfe::core
