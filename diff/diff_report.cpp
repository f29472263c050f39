#include "diff/diff_report.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace zfe::diff {

namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool consume(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

std::optional<std::uint64_t> readNumber(std::string_view& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The character as UTF-8.
void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The `count` hex digits from `at` on as a number, or -1.
int hexNumber(std::string_view text, std::size_t at, std::size_t count) {
    if (text.size() - at < count) return -1;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = hexDigit(text[at + i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// One name as the tool writes it: bare when it has no blank, quote, control
// character, separator or bidirectional control, otherwise in double quotes
// with C escapes (\xHH for a byte, \uHHHH for a character).
std::optional<std::string> readName(std::string_view& text) {
    if (text.empty()) return std::nullopt;
    if (text.front() != '"') {
        const std::size_t end = text.find(' ');
        if (end == 0) return std::nullopt;
        std::string name(text.substr(0, end));
        text.remove_prefix(name.size());
        return name;
    }
    std::string name;
    for (std::size_t at = 1; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            text.remove_prefix(at + 1);
            return name;
        }
        if (c != '\\') {
            name += c;
            continue;
        }
        if (++at == text.size()) return std::nullopt;
        switch (text[at]) {
            case 'n': name += '\n'; break;
            case 'r': name += '\r'; break;
            case 't': name += '\t'; break;
            case 'x':
            case 'u': {
                const std::size_t digits = text[at] == 'x' ? 2 : 4;
                const int code = hexNumber(text, at + 1, digits);
                if (code < 0) return std::nullopt;
                if (digits == 2) {
                    name += static_cast<char>(code);
                } else {
                    appendUtf8(name, static_cast<unsigned>(code));
                }
                at += digits;
                break;
            }
            default: name += text[at]; break;
        }
    }
    return std::nullopt;  // no closing quote
}

// "Added (12)" for the section `title`.
std::optional<std::uint64_t> sectionCount(std::string_view line, std::string_view title) {
    if (!consume(line, title) || !consume(line, " (")) return std::nullopt;
    const auto count = readNumber(line);
    if (!count || line != ")") return std::nullopt;
    return count;
}

// The summary's tail, "; 4 status changed (3 better, 1 worse)", taken off the
// end of `line`: the count of status changes, or nothing when the line does not
// end so.
std::optional<std::uint64_t> takeStatusTail(std::string_view& line) {
    const std::size_t start = line.rfind("; ");
    if (start == std::string_view::npos) return std::nullopt;
    std::string_view tail = line.substr(start + 2);
    const auto total = readNumber(tail);
    if (!total || !consume(tail, " status changed (")) return std::nullopt;
    const auto better = readNumber(tail);
    if (!better || !consume(tail, " better, ")) return std::nullopt;
    const auto worse = readNumber(tail);
    if (!worse || tail != " worse)" || *better > *total || *worse > *total - *better) {
        return std::nullopt;
    }
    line = line.substr(0, start);
    return total;
}

// "Summary: 1 added, 2 removed, 0 renamed, 3 changed, 4 unchanged" and
// whatever the tool says after it; `diffDatWritten` false when that is that no
// diff dat was written. With `statusTail` the line must end with the count of
// status changes, which a report of an earlier version does not give.
std::optional<ReportCounts> summaryCounts(std::string_view line, bool statusTail,
                                          bool& diffDatWritten) {
    if (!consume(line, "Summary: ")) return std::nullopt;
    ReportCounts counts;
    if (statusTail) {
        const auto statusChanged = takeStatusTail(line);
        if (!statusChanged) return std::nullopt;
        counts.statusChanged = *statusChanged;
    }
    const std::array<std::pair<std::uint64_t*, std::string_view>, 5> fields = {{
        {&counts.added, " added"},
        {&counts.removed, " removed"},
        {&counts.renamed, " renamed"},
        {&counts.changed, " changed"},
        {&counts.unchanged, " unchanged"},
    }};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0 && !consume(line, ", ")) return std::nullopt;
        const auto value = readNumber(line);
        if (!value || !consume(line, fields[i].second)) return std::nullopt;
        *fields[i].first = *value;
    }
    diffDatWritten = !consume(line, "; no diff dat written");
    return counts;
}

enum class SetLine { Plain, Renamed, StatusChanged };

bool readField(std::string_view& line, std::string& field) {
    auto value = readName(line);
    if (!value) return false;
    field = std::move(*value);
    return true;
}

// A set's line: two blanks, its name; for a renamed set " -> " and the new
// name, for a status change two blanks and "OLD -> NEW"; then, when the dat
// gives them, two blanks before each of description, year and manufacturer.
std::optional<ReportSet> readSetLine(std::string_view line, SetLine kind) {
    if (!consume(line, "  ") || line.empty() || line.front() == ' ') return std::nullopt;
    ReportSet set;
    if (!readField(line, set.name)) return std::nullopt;
    if (kind == SetLine::Renamed && (!consume(line, " -> ") || !readField(line, set.newName))) {
        return std::nullopt;
    }
    if (kind == SetLine::StatusChanged &&
        (!consume(line, "  ") || !readField(line, set.oldStatus) || !consume(line, " -> ") ||
         !readField(line, set.newStatus))) {
        return std::nullopt;
    }
    if (consume(line, "  ") &&
        (!readField(line, set.description) || !consume(line, "  ") || !readField(line, set.year) ||
         !consume(line, "  ") || !readField(line, set.manufacturer))) {
        return std::nullopt;
    }
    if (!line.empty()) return std::nullopt;
    return set;
}

// The data of an entry: "size 4096, crc 0123abcd, sha1 ..." (sha1 or md5 as
// one name); empty only where `mayBeEmpty`.
bool readEntryData(std::string_view& line, bool mayBeEmpty) {
    const auto isHex = [](char c) { return hexDigit(c) >= 0; };
    for (bool first = true;; first = false) {
        if (!first && !consume(line, ", ")) return true;
        if (consume(line, "size ")) {
            if (!readNumber(line)) return false;
        } else if (consume(line, "crc ")) {
            const std::size_t digits = std::find_if_not(line.begin(), line.end(), isHex) - line.begin();
            if (digits == 0) return false;
            line.remove_prefix(digits);
        } else if (consume(line, "sha1 ") || consume(line, "md5 ")) {
            if (!line.empty() && line.front() == '"') {
                if (!readName(line)) return false;
            } else {
                const std::size_t end = std::min(line.find_first_of(" ,)\""), line.size());
                if (end == 0) return false;
                line.remove_prefix(end);
            }
        } else {
            return first && mayBeEmpty;
        }
    }
}

// A changed set's entry line, after its indent: "added rom NAME (DATA)",
// "removed disk NAME", "changed rom NAME (DATA), was DATA" or
// "renamed rom NAME (DATA) -> NAME". Anything else is not one.
bool isEntryLine(std::string_view line) {
    const bool changed = consume(line, "changed ");
    const bool renamed = !changed && consume(line, "renamed ");
    if (!changed && !renamed && !consume(line, "added ") && !consume(line, "removed ")) return false;
    if ((!consume(line, "rom ") && !consume(line, "disk ")) || !readName(line)) return false;
    if (consume(line, " (") && (!readEntryData(line, false) || !consume(line, ")"))) return false;
    if (changed && (!consume(line, ", was ") || !readEntryData(line, true))) return false;
    if (renamed && (!consume(line, " -> ") || !readName(line))) return false;
    return line.empty();
}

}  // namespace

std::optional<DiffReport> readDiffReport(std::string_view text) {
    const std::vector<std::string_view> lines = splitLines(text);
    DiffReport report;
    std::size_t at = 0;
    while (at < lines.size() && !sectionCount(lines[at], "Added")) {
        report.header.emplace_back(lines[at]);
        ++at;
    }
    while (!report.header.empty() && report.header.back().empty()) report.header.pop_back();

    struct Section {
        std::string_view title;
        std::vector<ReportSet>* sets;
        SetLine kind;
    };
    const std::array<Section, 5> sections = {{
        {"Added", &report.added, SetLine::Plain},
        {"Removed", &report.removed, SetLine::Plain},
        {"Renamed", &report.renamed, SetLine::Renamed},
        {"Changed", &report.changed, SetLine::Plain},
        {"Status changed", &report.statusChanged, SetLine::StatusChanged},
    }};
    bool statusSection = false;
    for (const auto& [title, sets, kind] : sections) {
        while (at < lines.size() && lines[at].empty()) ++at;
        if (at == lines.size()) return std::nullopt;
        auto count = sectionCount(lines[at], title);
        // A report of an earlier version has no status changes.
        if (!count && sets == &report.statusChanged) break;
        if (!count) return std::nullopt;
        statusSection = sets == &report.statusChanged;
        ++at;
        const bool details = sets == &report.changed;
        for (; at < lines.size() && !lines[at].empty(); ++at) {
            if (details && lines[at].substr(0, 4) == "    " && !sets->empty()) {
                if (!isEntryLine(lines[at].substr(4))) return std::nullopt;
                sets->back().details.emplace_back(lines[at].substr(4));
                continue;
            }
            auto set = readSetLine(lines[at], kind);
            if (!set) return std::nullopt;
            sets->push_back(std::move(*set));
        }
        if (sets->size() != *count) return std::nullopt;
    }

    while (at < lines.size() && lines[at].empty()) ++at;
    if (at == lines.size()) return std::nullopt;
    const auto counts = summaryCounts(lines[at++], statusSection, report.diffDatWritten);
    if (!counts || counts->added != report.added.size() ||
        counts->removed != report.removed.size() || counts->renamed != report.renamed.size() ||
        counts->changed != report.changed.size() ||
        counts->statusChanged != report.statusChanged.size()) {
        return std::nullopt;
    }
    while (at < lines.size() && lines[at].empty()) ++at;
    if (at != lines.size()) return std::nullopt;
    report.counts = *counts;
    return report;
}

}  // namespace zfe::diff
