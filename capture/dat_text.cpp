#include "capture/dat_text.h"

#include <array>

#include "core/failure_messages.h"

namespace zfe::capture {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\n";

std::string_view withoutLeadingBlanks(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    const std::size_t first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

bool isXmlNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

bool startsWithListInfoBlock(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kBlocks{"game", "machine", "resource",
                                                             "clrmamepro"};
    for (const std::string_view block : kBlocks) {
        if (!text.starts_with(block)) continue;
        const std::size_t parenthesis = text.find_first_not_of(" \t", block.size());
        return parenthesis != std::string_view::npos && text[parenthesis] == '(';
    }
    return false;
}

bool startsWithXml(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kOpeners{"<?xml", "<!DOCTYPE", "<mame",
                                                              "<datafile"};
    for (const std::string_view opener : kOpeners) {
        if (text.starts_with(opener)) {
            return text.size() > opener.size() && !isXmlNameCharacter(text[opener.size()]);
        }
    }
    return false;
}

}  // namespace

bool isDatText(std::string_view start) {
    const std::string_view text = withoutLeadingBlanks(start);
    return startsWithListInfoBlock(text) || startsWithXml(text);
}

std::string firstPrintedLine(std::string_view start, std::size_t width) {
    std::string_view text = withoutLeadingBlanks(start);
    text = text.substr(0, text.find_first_of("\r\n"));
    std::string line = core::shownLine(text, width);
    for (char& c : line) {
        if (c == '\t') {
            c = ' ';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return line;
}

}  // namespace zfe::capture
