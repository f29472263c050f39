#include <charconv>
#include <string_view>

#include "tools/datgen/model.h"
#include "tools/datgen/text_append.h"

namespace zfe::datgen {
namespace {

// Bare hex for offsets, the way MAME printed them (no leading zeros).
void appendBareHex(std::string& out, std::uint32_t value) {
    int digits = 1;
    while (digits < 8 && (value >> (digits * 4)) != 0) ++digits;
    appendHex(out, value, digits);
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

void appendPair(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += ' ';
    out += value;
    out += ' ';
}

void appendRom(std::string& out, const Rom& rom) {
    out += "\trom ( ";
    appendPair(out, "name", rom.name);
    if (!rom.merge.empty()) appendPair(out, "merge", rom.merge);
    if (!rom.bios.empty()) appendPair(out, "bios", rom.bios);
    out += "size ";
    appendNumber(out, rom.size);
    out += ' ';
    if (rom.status != DumpStatus::nodump) {
        out += "crc ";
        appendHex(out, rom.crc, 8);
        out += ' ';
        appendPair(out, "sha1", rom.sha1);
    }
    appendPair(out, "region", rom.region);
    out += "offs ";
    appendBareHex(out, rom.offset);
    out += ' ';
    if (rom.status == DumpStatus::nodump) appendPair(out, "flags", "nodump");
    if (rom.status == DumpStatus::baddump) appendPair(out, "flags", "baddump");
    out += ")\n";
}

void appendDisk(std::string& out, const Disk& disk) {
    out += "\tdisk ( ";
    appendPair(out, "name", disk.name);
    if (!disk.merge.empty()) appendPair(out, "merge", disk.merge);
    if (!disk.nodump) {
        if (!disk.md5.empty()) appendPair(out, "md5", disk.md5);
        appendPair(out, "sha1", disk.sha1);
    }
    out += "region disks index ";
    appendNumber(out, disk.index);
    out += ' ';
    if (disk.nodump) appendPair(out, "flags", "nodump");
    out += ")\n";
}

void appendChip(std::string& out, std::string_view type, std::string_view name, int clock) {
    out += "\tchip ( type ";
    out += type;
    out += " name ";
    out += name;
    out += " clock ";
    appendNumber(out, clock);
    out += " )\n";
}

void appendHardware(std::string& out, const Hardware& hw, std::string_view driverStatus) {
    appendChip(out, "cpu", hw.cpu, hw.cpuClock);
    if (!hw.audio.empty()) appendChip(out, "audio", hw.audio, hw.audioClock);
    out += "\tvideo ( screen raster orientation ";
    out += hw.vertical ? "vertical" : "horizontal";
    out += " x ";
    appendNumber(out, hw.width);
    out += " y ";
    appendNumber(out, hw.height);
    out += hw.vertical ? " aspect 3x4" : " aspect 4x3";
    out += " freq 60 )\n";
    out += "\tsound ( channels ";
    appendNumber(out, hw.channels);
    out += " )\n";
    out += "\tinput ( players ";
    appendNumber(out, hw.players);
    out += " control ";
    out += hw.control;
    out += " buttons ";
    appendNumber(out, hw.buttons);
    out += " coins ";
    appendNumber(out, hw.coins);
    out += " )\n";
    out += "\tdipswitch ( name \"Lives\" entry \"";
    appendNumber(out, hw.lives - 1);
    out += "\" entry \"";
    appendNumber(out, hw.lives);
    out += "\" entry \"";
    appendNumber(out, hw.lives + 2);
    out += "\" default \"";
    appendNumber(out, hw.lives);
    out += "\" )\n";
    out += "\tdriver ( status ";
    out += driverStatus;
    out += " color good sound ";
    out += hw.imperfect ? "imperfect" : "good";
    out += " palettesize ";
    appendNumber(out, hw.palette);
    out += " )\n";
}

void appendGame(std::string& out, const Game& game) {
    out += game.resource ? "resource (\n" : "game (\n";
    out += "\tname ";
    out += game.name;
    out += "\n\tdescription ";
    appendQuoted(out, game.description);
    out += "\n\tyear ";
    out += game.year;
    out += "\n\tmanufacturer ";
    appendQuoted(out, game.manufacturer);
    out += '\n';
    if (!game.cloneof.empty()) {
        out += "\tcloneof ";
        out += game.cloneof;
        out += '\n';
    }
    if (!game.romof.empty()) {
        out += "\tromof ";
        out += game.romof;
        out += '\n';
    }
    for (std::size_t i = 0; i < game.biosSets.size(); ++i) {
        out += "\tbiosset ( name ";
        out += game.biosSets[i].name;
        out += " description ";
        appendQuoted(out, game.biosSets[i].description);
        out += i == 0 ? " default yes )\n" : " )\n";
    }
    for (const Rom& rom : game.roms) appendRom(out, rom);
    for (const Disk& disk : game.disks) appendDisk(out, disk);
    if (!game.resource) appendHardware(out, game.hardware, game.driverStatus);
    out += ")\n\n";
}

}  // namespace

void writeListinfo(const std::vector<Game>& games, std::string& out) {
    out.reserve(out.size() + games.size() * 1400);
    for (const Game& game : games) appendGame(out, game);
}

}  // namespace zfe::datgen
