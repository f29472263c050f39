#include "tools/zandorel/field_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace zfe::zandorel {

namespace {

// What the rule does with a character, in the order of how much it asks.
enum class Treatment { Plain, Quoted, Escaped };

// A character of valid UTF-8, or one byte that is part of none.
struct Character {
    std::uint32_t codePoint;  // the byte itself when not valid
    std::size_t length;
    bool valid;
};

Character characterAt(std::string_view text, std::size_t at) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt(at);
    const Character invalid{lead, 1, false};
    if (lead < 0x80) return {lead, 1, true};
    std::size_t length = 4;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead < 0xF0 || lead > 0xF4) {
        return invalid;
    }
    if (length > text.size() - at) return invalid;
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::uint32_t code = lead & (0x7FU >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byteAt(at + i);
        if ((next & 0xC0U) != 0x80U) return invalid;
        code = code << 6 | (next & 0x3FU);
    }
    // Overlong forms, surrogates and code points past Unicode's last.
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return invalid;
    return {code, length, true};
}

// Controls (C0, DEL, C1), line and paragraph separators, bidirectional controls.
bool isEscaped(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C ||
           c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool isBlank(std::uint32_t c) {
    return c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

Treatment treatmentOf(const Character& c) {
    if (!c.valid || isEscaped(c.codePoint)) return Treatment::Escaped;
    if (c.codePoint == '"' || c.codePoint == '\\' || isBlank(c.codePoint)) return Treatment::Quoted;
    return Treatment::Plain;
}

// The most that any character of the text asks for. Printable ASCII, nearly
// every byte of a real dat's names, is told at a glance.
Treatment treatmentOf(std::string_view text) {
    Treatment most = Treatment::Plain;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte > 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            ++at;
            continue;
        }
        const Character c = characterAt(text, at);
        most = std::max(most, treatmentOf(c));
        if (most == Treatment::Escaped) break;
        at += c.length;
    }
    return most;
}

void appendEscaped(std::string& out, std::string_view text, bool quoted) {
    for (std::size_t at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        const std::string_view bytes = text.substr(at, c.length);
        at += c.length;
        if (c.valid && !isEscaped(c.codePoint)) {
            if (quoted && (c.codePoint == '"' || c.codePoint == '\\')) out += '\\';
            out += bytes;
            continue;
        }
        char escaped[8];
        if (c.valid && c.codePoint == '\n') {
            out += "\\n";
        } else if (c.valid && c.codePoint == '\r') {
            out += "\\r";
        } else if (c.valid && c.codePoint == '\t') {
            out += "\\t";
        } else if (!c.valid || c.codePoint < 0x80) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c.codePoint));
            out += escaped;
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c.codePoint));
            out += escaped;
        }
    }
}

}  // namespace

void appendField(std::string& out, std::string_view text) {
    if (!text.empty() && treatmentOf(text) == Treatment::Plain) {
        out += text;
        return;
    }
    out += '"';
    appendEscaped(out, text, true);
    out += '"';
}

std::string fieldText(std::string_view text) {
    std::string out;
    appendField(out, text);
    return out;
}

std::string pathText(std::string_view path) {
    return treatmentOf(path) == Treatment::Escaped ? fieldText(path) : std::string(path);
}

std::string messageText(std::string_view text) {
    std::string out;
    appendEscaped(out, text, false);
    return out;
}

std::size_t plainCharacterLength(std::string_view text, std::size_t at) {
    const Character c = characterAt(text, at);
    return c.valid && !isEscaped(c.codePoint) ? c.length : 0;
}

}  // namespace zfe::zandorel
