#pragma once

// Small pieces that both readers share.

#include <cstdint>
#include <string_view>

#include "tools/zandorel/dat.h"

namespace zfe::zandorel::detail {

struct ByteRange {
    std::uint32_t begin;
    std::uint32_t end;
};

// Widens [begin, end) to whole lines when nothing but blanks shares those lines
// with it, taking the line end along, so that copying or cutting the range keeps
// the rest of the text's layout.
inline ByteRange wholeLines(std::string_view text, std::size_t begin, std::size_t end) {
    std::size_t lineStart = begin;
    while (lineStart > 0 && (text[lineStart - 1] == ' ' || text[lineStart - 1] == '\t')) {
        --lineStart;
    }
    const bool aloneBefore = lineStart == 0 || text[lineStart - 1] == '\n';
    std::size_t lineEnd = end;
    while (lineEnd < text.size() && (text[lineEnd] == ' ' || text[lineEnd] == '\t')) ++lineEnd;
    bool aloneAfter = false;
    if (lineEnd == text.size()) {
        aloneAfter = true;
    } else if (text[lineEnd] == '\n') {
        aloneAfter = true;
        ++lineEnd;
    } else if (text[lineEnd] == '\r' && lineEnd + 1 < text.size() && text[lineEnd + 1] == '\n') {
        aloneAfter = true;
        lineEnd += 2;
    }
    if (aloneBefore && aloneAfter) {
        return {static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(lineEnd)};
    }
    return {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)};
}

inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A crc of one to eight hex digits, in either case.
inline bool parseCrc(std::string_view text, std::uint32_t& crc) {
    if (text.empty() || text.size() > 8) return false;
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    crc = value;
    return true;
}

// A size in decimal or, with 0x, in hex.
inline bool parseSize(std::string_view text, std::uint64_t& size) {
    std::uint64_t value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        if (text.size() > 16) return false;
        for (char c : text) {
            const int digit = hexDigit(c);
            if (digit < 0) return false;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
    } else {
        if (text.empty() || text.size() > 19) return false;
        for (char c : text) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
    }
    size = value;
    return true;
}

// The rom status words that mean the rom has no data.
inline bool isNoDumpWord(std::string_view word) {
    return equalsFolded(word, "nodump") || equalsFolded(word, "no_dump");
}

}  // namespace zfe::zandorel::detail
