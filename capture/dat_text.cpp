#include "capture/dat_text.h"

#include <array>
#include <optional>

#include "core/failure_messages.h"

namespace zfe::capture {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::size_t npos = std::string_view::npos;

std::string_view afterBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    return first == npos ? std::string_view() : text.substr(first);
}

std::string_view beforeBlanks(std::string_view text) {
    const std::size_t last = text.find_last_not_of(kBlanks);
    return last == npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view withoutLeadingBlanks(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return afterBlanks(text);
}

bool isXmlNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

// `word` at the start of `text`, followed by something that is not part of a
// name (so "<mamex" is not "<mame"). A text that ends right after it is not
// known to hold the word.
bool startsWithWord(std::string_view text, std::string_view word) {
    return text.starts_with(word) && text.size() > word.size() && !isXmlNameCharacter(text[word.size()]);
}

bool startsWithListInfoBlock(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kBlocks{"game", "machine", "resource",
                                                             "clrmamepro"};
    for (const std::string_view block : kBlocks) {
        if (!text.starts_with(block)) continue;
        const std::size_t parenthesis = text.find_first_not_of(" \t", block.size());
        return parenthesis != npos && text[parenthesis] == '(';
    }
    return false;
}

// --- XML ----------------------------------------------------------------------

// Removes the text up to and including the first `close` found from `from` on;
// false when there is none.
bool skipPast(std::string_view& text, std::size_t from, std::string_view close) {
    const std::size_t at = text.find(close, from);
    if (at == npos) return false;
    text.remove_prefix(at + close.size());
    return true;
}

// Removes "<!DOCTYPE ... >" from the start of `text`, an internal subset in
// brackets included, with its quoted values, comments and processing
// instructions; false when it does not end within `text`.
bool skipDocumentType(std::string_view& text) {
    bool inSubset = false;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            i = text.find("-->", i + 4);
            if (i == npos) return false;
            i += 2;
        } else if (rest.starts_with("<?")) {
            i = text.find("?>", i + 2);
            if (i == npos) return false;
            ++i;
        } else if (text[i] == '"' || text[i] == '\'') {
            i = text.find(text[i], i + 1);
            if (i == npos) return false;
        } else if (text[i] == '[') {
            inSubset = true;
        } else if (text[i] == ']') {
            inSubset = false;
        } else if (text[i] == '>' && !inSubset) {
            text.remove_prefix(i + 1);
            return true;
        }
    }
    return false;
}

// Where the prolog (declaration, comments, processing instructions, document
// type, blanks) of the XML at the start of `text` ends: `text` is left at the
// first other markup, or empty when the prolog runs to its end.
void skipProlog(std::string_view& text) {
    for (;;) {
        text = afterBlanks(text);
        bool ended = false;
        if (text.starts_with("<!--")) {
            ended = skipPast(text, 4, "-->");
        } else if (text.starts_with("<?")) {
            ended = skipPast(text, 2, "?>");
        } else if (startsWithWord(text, "<!DOCTYPE")) {
            ended = skipDocumentType(text);
        } else {
            return;
        }
        if (!ended) {
            text = {};
            return;
        }
    }
}

struct XmlRoot {
    std::string_view name;  // empty when the root lies beyond the text given
    // Where its start tag ends, counted from the output's first byte; only
    // known when it ends within the text given.
    std::optional<std::size_t> startTagEnd;
    bool selfClosing = false;
};

bool startsWithXmlMarkup(std::string_view text) {
    return text.starts_with("<?") || text.starts_with("<!--") || startsWithWord(text, "<!DOCTYPE") ||
           startsWithWord(text, "<mame") || startsWithWord(text, "<datafile");
}

// The root element of the XML at the start of the output `start`, or nothing
// when the output is no XML dat.
std::optional<XmlRoot> xmlRootOf(std::string_view start) {
    std::string_view text = withoutLeadingBlanks(start);
    if (!startsWithXmlMarkup(text)) return std::nullopt;
    skipProlog(text);
    if (text.empty()) return XmlRoot{};
    XmlRoot root;
    for (const std::string_view name : {"mame", "datafile"}) {
        if (text[0] == '<' && startsWithWord(text.substr(1), name)) root.name = name;
    }
    if (root.name.empty()) return std::nullopt;
    for (std::size_t i = 1 + root.name.size(); i < text.size(); ++i) {
        if (text[i] == '"' || text[i] == '\'') {
            i = text.find(text[i], i + 1);
            if (i == npos) break;
        } else if (text[i] == '>') {
            root.startTagEnd = start.size() - text.size() + i + 1;
            root.selfClosing = text[i - 1] == '/';
            break;
        }
    }
    return root;
}

// Removes the blanks, comments and processing instructions that may follow
// the root element from the end of `text`.
std::string_view withoutTrailingMarkup(std::string_view text) {
    for (;;) {
        text = beforeBlanks(text);
        std::size_t opening = npos;
        if (text.ends_with("-->")) {
            opening = text.rfind("<!--", text.size() - 3);
        } else if (text.ends_with("?>")) {
            opening = text.rfind("<?", text.size() - 2);
        } else {
            return text;
        }
        if (opening == npos) return {};
        text = text.substr(0, opening);
    }
}

bool xmlEndsWhole(const XmlRoot& root, std::string_view end, std::int64_t size) {
    if (root.name.empty()) return false;
    const std::string_view rest = withoutTrailingMarkup(end);
    if (root.selfClosing) {
        // Nothing but the trailing markup after the root's one tag.
        return static_cast<std::int64_t>(*root.startTagEnd) ==
               size - static_cast<std::int64_t>(end.size()) + static_cast<std::int64_t>(rest.size());
    }
    if (!rest.ends_with('>')) return false;
    const std::string_view closing = beforeBlanks(rest.substr(0, rest.size() - 1));
    return closing.ends_with(root.name) &&
           closing.substr(0, closing.size() - root.name.size()).ends_with("</");
}

// --- listinfo -----------------------------------------------------------------------

// Where the line after the one at `at` starts, or npos.
std::size_t nextLineStart(std::string_view text, std::size_t at) {
    const std::size_t lineEnd = text.find_first_of("\r\n", at);
    return lineEnd == npos ? npos : lineEnd + 1;
}

bool listInfoEndsWhole(std::string_view end, bool wholeOutput) {
    // A block opens at the start of a line (the output's first line included
    // only when `end` begins there): the last such opening is the origin.
    if (wholeOutput && end.starts_with(kByteOrderMark)) end.remove_prefix(kByteOrderMark.size());
    std::size_t origin = npos;
    for (std::size_t line = wholeOutput ? 0 : nextLineStart(end, 0); line < end.size();
         line = nextLineStart(end, line)) {
        const std::size_t word = end.find_first_not_of(" \t", line);
        if (word != npos && startsWithListInfoBlock(end.substr(word))) origin = word;
    }
    if (origin == npos) return false;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = origin; i < end.size(); ++i) {
        const char c = end[i];
        if (quoted) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth < 0) {
            return false;
        }
    }
    return !quoted && depth == 0 && beforeBlanks(end).ends_with(')');
}

std::string printedLine(std::string_view line, std::size_t width) {
    std::string shown = core::shownLine(line, width);
    for (char& c : shown) {
        if (c == '\t') {
            c = ' ';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

}  // namespace

bool isDatText(std::string_view start) {
    return startsWithListInfoBlock(withoutLeadingBlanks(start)) || xmlRootOf(start).has_value();
}

DatJudgement judgeDat(std::string_view start, std::string_view end, std::int64_t size) {
    if (startsWithListInfoBlock(withoutLeadingBlanks(start))) {
        return listInfoEndsWhole(end, static_cast<std::int64_t>(end.size()) == size)
                   ? DatJudgement::Whole
                   : DatJudgement::EndedEarly;
    }
    const std::optional<XmlRoot> root = xmlRootOf(start);
    if (!root) return DatJudgement::NotADat;
    return xmlEndsWhole(*root, end, size) ? DatJudgement::Whole : DatJudgement::EndedEarly;
}

std::string firstPrintedLine(std::string_view start, std::size_t width) {
    const std::string_view text = withoutLeadingBlanks(start);
    return printedLine(text.substr(0, text.find_first_of("\r\n")), width);
}

std::string lastPrintedLine(std::string_view end, std::size_t width) {
    const std::string_view text = beforeBlanks(end);
    const std::size_t lineEnd = text.find_last_of("\r\n");
    return printedLine(afterBlanks(lineEnd == npos ? text : text.substr(lineEnd + 1)), width);
}

}  // namespace zfe::capture
