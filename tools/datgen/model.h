#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::datgen {

enum class DumpStatus { good, baddump, nodump };

struct Rom {
    std::string name;
    std::string merge;  // the parent's (or BIOS's) name for a shared rom
    std::string bios;   // the BIOS set this rom belongs to
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
    std::string sha1;  // 40 hex digits; empty for a nodump
    std::string region;
    std::uint32_t offset = 0;
    DumpStatus status = DumpStatus::good;
    bool optional = false;  // -listxml only
};

struct Disk {
    std::string name;
    std::string merge;
    std::string md5;  // older dats carry both digests
    std::string sha1;
    int index = 0;
    bool nodump = false;
};

struct BiosSet {
    std::string name;
    std::string description;
};

// The lines below the roms that every emulator dat carries; only there so that
// the output looks and weighs like the real thing.
struct Hardware {
    std::string cpu;
    int cpuClock = 0;
    std::string audio;
    int audioClock = 0;
    bool vertical = false;
    int width = 0;
    int height = 0;
    int channels = 1;
    int players = 1;
    std::string control;
    int buttons = 1;
    int coins = 1;
    int lives = 3;
    int palette = 256;
    bool imperfect = false;
};

struct Game {
    bool resource = false;
    std::string name;
    std::string description;
    std::string year;
    std::string manufacturer;
    std::string driverStatus;  // good, imperfect or preliminary; empty for a device
    std::string cloneof;
    std::string romof;
    std::vector<BiosSet> biosSets;
    std::vector<Rom> roms;
    std::vector<Disk> disks;
    Hardware hardware;

    // -listxml only. A BIOS set there is a `resource` here (isbios).
    bool device = false;  // isdevice: a chip or board that machines refer to
    bool mechanical = false;
    std::string sourcefile;
    std::string sampleof;
    // Seed of the lines no set is made of (chips, inputs, dip switches...): a
    // game keeps it through renames and rom changes, and with it those lines.
    std::uint64_t extras = 0;
};

// Appends the games as listinfo text, LF line ends.
void writeListinfo(const std::vector<Game>& games, std::string& out);

// Appends a whole -listxml document, LF line ends, the way MAME prints it: the
// DTD, then the machines by name, then the devices by name. `build` is the
// emulator version the root element names.
void writeListxml(const std::vector<Game>& machines, std::string_view build, std::string& out);

}  // namespace zfe::datgen
