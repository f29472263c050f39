#include "tools/zandorel/report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace zfe::zandorel {

namespace {

std::string crcText(std::uint32_t crc) {
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08x", crc);
    return buffer;
}

std::string dataText(const Dat& dat, const Entry& entry) {
    std::string text;
    const auto add = [&](const std::string& part) {
        if (!text.empty()) text += ", ";
        text += part;
    };
    if (entry.hasSize()) add("size " + std::to_string(entry.size));
    if (entry.hasCrc()) add("crc " + crcText(entry.crc));
    if (entry.hasSha1())
        add("sha1 " + std::string(dat.view(entry.hash)));
    else if (entry.hasMd5())
        add("md5 " + std::string(dat.view(entry.hash)));
    return text;
}

// A name as it goes into the report: quoted when it has blanks, quotes or
// control characters or is empty, so that a line still splits into words and
// no byte of a name can start a line of its own or move the cursor.
std::string nameText(std::string_view name) {
    const auto plain = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7f && c != '"' && c != '\\';
    };
    if (!name.empty() && std::all_of(name.begin(), name.end(), plain)) return std::string(name);
    std::string quoted = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// A path as given, unless a control character in it needs the quoted form.
std::string pathText(std::string_view path) {
    const bool control = std::any_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    return control ? nameText(path) : std::string(path);
}

std::string formatName(DatFormat format) {
    return format == DatFormat::Xml ? "XML" : "listinfo";
}

void datLine(std::string& out, const char* label, const SetModel& sets) {
    const Dat& dat = sets.dat();
    out += std::string(label) + ": " + pathText(dat.path) + " (" + formatName(dat.format) + ", " +
           std::to_string(dat.games.size()) + " games, " + std::to_string(sets.size()) + " sets)\n";
}

// Line numbers (from 1, as positionOf counts them) of many offsets in one text:
// a dat may repeat thousands of games, and a pass from the start of the text
// for each of them takes minutes on a large dat.
class LineNumbers {
public:
    explicit LineNumbers(std::string_view text) {
        starts_.push_back(0);
        for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
             at = text.find_first_of("\r\n", at + 1)) {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
            starts_.push_back(static_cast<std::uint32_t>(at + 1));
        }
    }

    std::size_t lineOf(std::uint32_t offset) const {
        return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                        starts_.begin());
    }

private:
    std::vector<std::uint32_t> starts_;
};

void duplicateLines(std::string& out, const Dat& dat) {
    if (dat.duplicates.empty()) return;
    const LineNumbers lines(dat.text);
    for (const DuplicateGame& duplicate : dat.duplicates) {
        out += "Duplicate: " + pathText(dat.path) + ":" +
               std::to_string(lines.lineOf(duplicate.offset)) + ": game " +
               nameText(duplicate.name) + " left out, the first of that name is at line " +
               std::to_string(lines.lineOf(duplicate.firstOffset)) + "\n";
    }
}

}  // namespace

std::string describeEntry(const Dat& dat, const Entry& entry) {
    std::string text = entry.isDisk() ? "disk " : "rom ";
    text += nameText(dat.view(entry.name));
    const std::string data = dataText(dat, entry);
    if (!data.empty()) text += " (" + data + ")";
    return text;
}

void writeReportBody(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                     const ReportContext& context, std::string& out) {
    const Dat& oldDat = oldSets.dat();
    const Dat& newDat = newSets.dat();
    out += "zandorel " + context.version + "\n";
    datLine(out, "Old", oldSets);
    datLine(out, "New", newSets);
    out += "Set type: " + std::string(setTypeName(newSets.type())) + "\n";
    out += std::string("Form: ") + (context.compact ? "compact" : "full") + "\n";
    duplicateLines(out, oldDat);
    duplicateLines(out, newDat);

    out += "\nAdded (" + std::to_string(diff.added.size()) + ")\n";
    for (const std::uint32_t set : diff.added) out += "  " + nameText(newSets.name(set)) + "\n";
    out += "\nRemoved (" + std::to_string(diff.removed.size()) + ")\n";
    for (const std::uint32_t set : diff.removed) out += "  " + nameText(oldSets.name(set)) + "\n";
    out += "\nRenamed (" + std::to_string(diff.renamed.size()) + ")\n";
    for (const auto& [oldSet, newSet] : diff.renamed) {
        out +=
            "  " + nameText(oldSets.name(oldSet)) + " -> " + nameText(newSets.name(newSet)) + "\n";
    }
    out += "\nChanged (" + std::to_string(diff.changed.size()) + ")\n";
    for (const ChangedSet& changed : diff.changed) {
        out += "  " + nameText(newSets.name(changed.newSet)) + "\n";
        for (const EntryChange& change : changed.entries) {
            const Entry* oldEntry =
                change.oldEntry == EntryChange::kNone ? nullptr : &oldDat.entries[change.oldEntry];
            const Entry* newEntry =
                change.newEntry == EntryChange::kNone ? nullptr : &newDat.entries[change.newEntry];
            switch (change.kind) {
                case EntryChange::Kind::Added:
                    out += "    added " + describeEntry(newDat, *newEntry) + "\n";
                    break;
                case EntryChange::Kind::Removed:
                    out += "    removed " + describeEntry(oldDat, *oldEntry) + "\n";
                    break;
                case EntryChange::Kind::Changed:
                    out += "    changed " + describeEntry(newDat, *newEntry) + ", was " +
                           dataText(oldDat, *oldEntry) + "\n";
                    break;
                case EntryChange::Kind::Renamed:
                    out += "    renamed " + describeEntry(oldDat, *oldEntry) + " -> " +
                           nameText(newDat.view(newEntry->name)) + "\n";
                    break;
            }
        }
    }
}

void writeReportSummary(const DiffResult& diff, std::size_t gamesWritten, std::string& out) {
    out += "\nSummary: " + std::to_string(diff.added.size()) + " added, " +
           std::to_string(diff.removed.size()) + " removed, " +
           std::to_string(diff.renamed.size()) + " renamed, " +
           std::to_string(diff.changed.size()) + " changed, " + std::to_string(diff.unchanged) +
           " unchanged; zandorel.dat holds " + std::to_string(gamesWritten) + " games\n";
}

void writeReport(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                 const ReportContext& context, std::string& out) {
    writeReportBody(oldSets, newSets, diff, context, out);
    writeReportSummary(diff, context.gamesWritten, out);
}

}  // namespace zfe::zandorel
