#include "tools/zandorel/report.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "tools/zandorel/field_text.h"

namespace zfe::zandorel {

namespace {

// The report of a large diff runs to hundreds of thousands of lines: each
// piece is appended where it goes, with no string of its own on the way.
void appendNumber(std::string& out, std::uint64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void appendCrc(std::string& out, std::uint32_t crc) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char buffer[8];
    for (int i = 7; i >= 0; --i, crc >>= 4) buffer[i] = kDigits[crc & 0xf];
    out.append(buffer, sizeof buffer);
}

void appendData(std::string& out, const Dat& dat, const Entry& entry) {
    const std::size_t start = out.size();
    const auto separate = [&] {
        if (out.size() != start) out += ", ";
    };
    if (entry.hasSize()) {
        out += "size ";
        appendNumber(out, entry.size);
    }
    if (entry.hasCrc()) {
        separate();
        out += "crc ";
        appendCrc(out, entry.crc);
    }
    if (entry.hasSha1() || entry.hasMd5()) {
        separate();
        out += entry.hasSha1() ? "sha1 " : "md5 ";
        // As the dat wrote it, which may be anything.
        appendField(out, dat.view(entry.hash));
    }
}

void appendEntry(std::string& out, const Dat& dat, const Entry& entry) {
    out += entry.isDisk() ? "disk " : "rom ";
    appendField(out, dat.view(entry.name));
    const std::size_t start = out.size();
    out += " (";
    appendData(out, dat, entry);
    if (out.size() == start + 2) {
        out.resize(start);
    } else {
        out += ')';
    }
}

std::string formatName(DatFormat format) {
    return format == DatFormat::Xml ? "XML" : "listinfo";
}

void datLine(std::string& out, const char* label, const SetModel& sets) {
    const Dat& dat = sets.dat();
    out += std::string(label) + ": " + pathText(dat.path) + " (" + formatName(dat.format) + ", " +
           std::to_string(dat.games.size()) + " games, " + std::to_string(sets.size()) + " sets)\n";
}

// Line numbers (from 1, as positionOf counts them) of many offsets of the dat,
// in one pass: a dat may repeat thousands of games, and a pass from the start of
// the text for each of them takes minutes on a large dat.
std::vector<std::size_t> linesOf(const Dat& dat, const std::vector<std::uint32_t>& offsets) {
    std::vector<std::size_t> sorted(offsets.begin(), offsets.end());
    std::sort(sorted.begin(), sorted.end());
    const std::vector<TextPosition> positions = positionsOf(dat.storage, sorted);
    std::vector<std::size_t> lines;
    lines.reserve(offsets.size());
    for (const std::uint32_t offset : offsets) {
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), offset) - sorted.begin();
        lines.push_back(positions[static_cast<std::size_t>(at)].line);
    }
    return lines;
}

void duplicateLines(std::string& out, const Dat& dat) {
    if (dat.duplicates.empty()) return;
    std::vector<std::uint32_t> offsets;
    for (const DuplicateGame& duplicate : dat.duplicates) {
        offsets.push_back(duplicate.offset);
        offsets.push_back(duplicate.firstOffset);
    }
    const std::vector<std::size_t> lines = linesOf(dat, offsets);
    for (std::size_t i = 0; i < dat.duplicates.size(); ++i) {
        const DuplicateGame& duplicate = dat.duplicates[i];
        out += "Duplicate: " + pathText(dat.path) + ":" + std::to_string(lines[2 * i]) + ": game " +
               fieldText(duplicate.name) + " left out, the first of that name is at line " +
               std::to_string(lines[2 * i + 1]) + "\n";
    }
}

// What full non-merged sets could not take from a dat's devices: a dat that
// names none gives the sets of non-merged, and a name of no machine of the dat
// adds nothing.
void deviceReport(std::string& out, const SetModel& sets) {
    const Dat& dat = sets.dat();
    if (dat.deviceRefs.empty()) {
        out += "Devices: " + pathText(dat.path) +
               " has no device references (device_ref): its sets are its non-merged sets\n";
        return;
    }
    const std::vector<std::string_view>& missing = sets.missingDevices();
    if (missing.empty()) return;
    constexpr std::size_t kNamesShown = 10;
    out += "Devices: " + pathText(dat.path) + " does not hold these devices that its games name (" +
           std::to_string(missing.size()) + "):";
    for (std::size_t i = 0; i < missing.size() && i < kNamesShown; ++i) {
        out += ' ';
        appendField(out, missing[i]);
    }
    out += missing.size() > kNamesShown ? " ...\n" : "\n";
}

// Two blanks before each of the game's description, year and manufacturer,
// when the dat gives any of them.
void appendGameFields(std::string& out, const Dat& dat, std::uint32_t game) {
    const Game& given = dat.games[game];
    if (given.description.empty() && given.year.empty() && given.manufacturer.empty()) return;
    for (const Span field : {given.description, given.year, given.manufacturer}) {
        out += "  ";
        appendField(out, dat.view(field));
    }
}

}  // namespace

std::string describeEntry(const Dat& dat, const Entry& entry) {
    std::string text;
    appendEntry(text, dat, entry);
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
    if (newSets.type() == SetType::FullNonMerged) {
        deviceReport(out, oldSets);
        deviceReport(out, newSets);
    }
    duplicateLines(out, oldDat);
    duplicateLines(out, newDat);

    const auto heading = [&](const char* title, std::size_t count) {
        out += "\n";
        out += title;
        out += " (";
        appendNumber(out, count);
        out += ")\n";
    };
    const auto setLine = [&](const SetModel& sets, std::uint32_t set) {
        out += "  ";
        appendField(out, sets.name(set));
        appendGameFields(out, sets.dat(), sets.nameGame(set));
        out += '\n';
    };
    heading("Added", diff.added.size());
    for (const std::uint32_t set : diff.added) setLine(newSets, set);
    heading("Removed", diff.removed.size());
    for (const std::uint32_t set : diff.removed) setLine(oldSets, set);
    heading("Renamed", diff.renamed.size());
    for (const auto& [oldSet, newSet] : diff.renamed) {
        out += "  ";
        appendField(out, oldSets.name(oldSet));
        out += " -> ";
        appendField(out, newSets.name(newSet));
        appendGameFields(out, newDat, newSets.nameGame(newSet));
        out += '\n';
    }
    heading("Changed", diff.changed.size());
    for (const ChangedSet& changed : diff.changed) {
        setLine(newSets, changed.newSet);
        for (const EntryChange& change : changed.entries) {
            const Entry* oldEntry =
                change.oldEntry == EntryChange::kNone ? nullptr : &oldDat.entries[change.oldEntry];
            const Entry* newEntry =
                change.newEntry == EntryChange::kNone ? nullptr : &newDat.entries[change.newEntry];
            switch (change.kind) {
                case EntryChange::Kind::Added:
                    out += "    added ";
                    appendEntry(out, newDat, *newEntry);
                    break;
                case EntryChange::Kind::Removed:
                    out += "    removed ";
                    appendEntry(out, oldDat, *oldEntry);
                    break;
                case EntryChange::Kind::Changed:
                    out += "    changed ";
                    appendEntry(out, newDat, *newEntry);
                    out += ", was ";
                    appendData(out, oldDat, *oldEntry);
                    break;
                case EntryChange::Kind::Renamed:
                    out += "    renamed ";
                    appendEntry(out, oldDat, *oldEntry);
                    out += " -> ";
                    appendField(out, newDat.view(newEntry->name));
                    break;
            }
            out += '\n';
        }
    }
    heading("Status changed", diff.statusChanged.size());
    for (const auto& [oldGame, newGame] : diff.statusChanged) {
        out += "  ";
        appendField(out, newDat.view(newDat.games[newGame].name));
        out += "  ";
        appendField(out, oldDat.view(oldDat.games[oldGame].driverStatus));
        out += " -> ";
        appendField(out, newDat.view(newDat.games[newGame].driverStatus));
        appendGameFields(out, newDat, newGame);
        out += '\n';
    }
}

std::string summaryLine(const DiffResult& diff, const ReportContext& context) {
    std::string line = "Summary: " + std::to_string(diff.added.size()) + " added, " +
                       std::to_string(diff.removed.size()) + " removed, " +
                       std::to_string(diff.renamed.size()) + " renamed, " +
                       std::to_string(diff.changed.size()) + " changed, " +
                       std::to_string(diff.unchanged) + " unchanged; ";
    if (context.gamesWritten == 0) {
        line += kNoDiffDatWritten;
    } else {
        line += pathText(context.diffDatName) + " holds " + std::to_string(context.gamesWritten) +
                " games";
    }
    return line + "; " + std::to_string(diff.statusChanged.size()) + " status changed (" +
           std::to_string(diff.statusBetter) + " better, " + std::to_string(diff.statusWorse) +
           " worse)\n";
}

void writeReport(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                 const ReportContext& context, std::string& out) {
    writeReportBody(oldSets, newSets, diff, context, out);
    out += '\n';
    out += summaryLine(diff, context);
}

}  // namespace zfe::zandorel
