#include <algorithm>
#include <charconv>
#include <string_view>

#include "tools/datgen/model.h"
#include "tools/datgen/random.h"
#include "tools/datgen/text_append.h"

namespace zfe::datgen {
namespace {

// The document type MAME puts in front of its -listxml output, then a blank line.
constexpr std::string_view kHeader = R"DTD(<?xml version="1.0"?>
<!DOCTYPE mame [
<!ELEMENT mame (machine+)>
	<!ATTLIST mame build CDATA #IMPLIED>
	<!ATTLIST mame debug (yes|no) "no">
	<!ATTLIST mame mameconfig CDATA #REQUIRED>
	<!ELEMENT machine (description, year?, manufacturer?, biosset*, rom*, disk*, device_ref*, sample*, chip*, display*, sound?, input?, dipswitch*, configuration*, port*, adjuster*, driver?, feature*, device*, slot*, softwarelist*, ramoption*)>
		<!ATTLIST machine name CDATA #REQUIRED>
		<!ATTLIST machine sourcefile CDATA #IMPLIED>
		<!ATTLIST machine isbios (yes|no) "no">
		<!ATTLIST machine isdevice (yes|no) "no">
		<!ATTLIST machine ismechanical (yes|no) "no">
		<!ATTLIST machine runnable (yes|no) "yes">
		<!ATTLIST machine cloneof CDATA #IMPLIED>
		<!ATTLIST machine romof CDATA #IMPLIED>
		<!ATTLIST machine sampleof CDATA #IMPLIED>
		<!ELEMENT description (#PCDATA)>
		<!ELEMENT year (#PCDATA)>
		<!ELEMENT manufacturer (#PCDATA)>
		<!ELEMENT biosset EMPTY>
			<!ATTLIST biosset name CDATA #REQUIRED>
			<!ATTLIST biosset description CDATA #REQUIRED>
			<!ATTLIST biosset default (yes|no) "no">
		<!ELEMENT rom EMPTY>
			<!ATTLIST rom name CDATA #REQUIRED>
			<!ATTLIST rom bios CDATA #IMPLIED>
			<!ATTLIST rom size CDATA #REQUIRED>
			<!ATTLIST rom crc CDATA #IMPLIED>
			<!ATTLIST rom sha1 CDATA #IMPLIED>
			<!ATTLIST rom merge CDATA #IMPLIED>
			<!ATTLIST rom region CDATA #IMPLIED>
			<!ATTLIST rom offset CDATA #IMPLIED>
			<!ATTLIST rom status (baddump|nodump|good) "good">
			<!ATTLIST rom optional (yes|no) "no">
		<!ELEMENT disk EMPTY>
			<!ATTLIST disk name CDATA #REQUIRED>
			<!ATTLIST disk sha1 CDATA #IMPLIED>
			<!ATTLIST disk merge CDATA #IMPLIED>
			<!ATTLIST disk region CDATA #IMPLIED>
			<!ATTLIST disk index CDATA #IMPLIED>
			<!ATTLIST disk writable (yes|no) "no">
			<!ATTLIST disk status (baddump|nodump|good) "good">
			<!ATTLIST disk optional (yes|no) "no">
		<!ELEMENT device_ref EMPTY>
			<!ATTLIST device_ref name CDATA #REQUIRED>
		<!ELEMENT sample EMPTY>
			<!ATTLIST sample name CDATA #REQUIRED>
		<!ELEMENT chip EMPTY>
			<!ATTLIST chip name CDATA #REQUIRED>
			<!ATTLIST chip tag CDATA #IMPLIED>
			<!ATTLIST chip type (cpu|audio) #REQUIRED>
			<!ATTLIST chip clock CDATA #IMPLIED>
		<!ELEMENT display EMPTY>
			<!ATTLIST display tag CDATA #IMPLIED>
			<!ATTLIST display type (raster|vector|lcd|svg|unknown) #REQUIRED>
			<!ATTLIST display rotate (0|90|180|270) #IMPLIED>
			<!ATTLIST display flipx (yes|no) "no">
			<!ATTLIST display width CDATA #IMPLIED>
			<!ATTLIST display height CDATA #IMPLIED>
			<!ATTLIST display refresh CDATA #REQUIRED>
			<!ATTLIST display pixclock CDATA #IMPLIED>
			<!ATTLIST display htotal CDATA #IMPLIED>
			<!ATTLIST display hbend CDATA #IMPLIED>
			<!ATTLIST display hbstart CDATA #IMPLIED>
			<!ATTLIST display vtotal CDATA #IMPLIED>
			<!ATTLIST display vbend CDATA #IMPLIED>
			<!ATTLIST display vbstart CDATA #IMPLIED>
		<!ELEMENT sound EMPTY>
			<!ATTLIST sound channels CDATA #REQUIRED>
		<!ELEMENT condition EMPTY>
			<!ATTLIST condition tag CDATA #REQUIRED>
			<!ATTLIST condition mask CDATA #REQUIRED>
			<!ATTLIST condition relation (eq|ne|gt|le|lt|ge) #REQUIRED>
			<!ATTLIST condition value CDATA #REQUIRED>
		<!ELEMENT input (control*)>
			<!ATTLIST input service (yes|no) "no">
			<!ATTLIST input tilt (yes|no) "no">
			<!ATTLIST input players CDATA #REQUIRED>
			<!ATTLIST input coins CDATA #IMPLIED>
			<!ELEMENT control EMPTY>
				<!ATTLIST control type CDATA #REQUIRED>
				<!ATTLIST control player CDATA #IMPLIED>
				<!ATTLIST control buttons CDATA #IMPLIED>
				<!ATTLIST control reqbuttons CDATA #IMPLIED>
				<!ATTLIST control minimum CDATA #IMPLIED>
				<!ATTLIST control maximum CDATA #IMPLIED>
				<!ATTLIST control sensitivity CDATA #IMPLIED>
				<!ATTLIST control keydelta CDATA #IMPLIED>
				<!ATTLIST control reverse (yes|no) "no">
				<!ATTLIST control ways CDATA #IMPLIED>
				<!ATTLIST control ways2 CDATA #IMPLIED>
				<!ATTLIST control ways3 CDATA #IMPLIED>
		<!ELEMENT dipswitch (condition?, diplocation*, dipvalue*)>
			<!ATTLIST dipswitch name CDATA #REQUIRED>
			<!ATTLIST dipswitch tag CDATA #REQUIRED>
			<!ATTLIST dipswitch mask CDATA #REQUIRED>
			<!ELEMENT diplocation EMPTY>
				<!ATTLIST diplocation name CDATA #REQUIRED>
				<!ATTLIST diplocation number CDATA #REQUIRED>
				<!ATTLIST diplocation inverted (yes|no) "no">
			<!ELEMENT dipvalue (condition?)>
				<!ATTLIST dipvalue name CDATA #REQUIRED>
				<!ATTLIST dipvalue value CDATA #REQUIRED>
				<!ATTLIST dipvalue default (yes|no) "no">
		<!ELEMENT configuration (condition?, conflocation*, confsetting*)>
			<!ATTLIST configuration name CDATA #REQUIRED>
			<!ATTLIST configuration tag CDATA #REQUIRED>
			<!ATTLIST configuration mask CDATA #REQUIRED>
			<!ELEMENT conflocation EMPTY>
				<!ATTLIST conflocation name CDATA #REQUIRED>
				<!ATTLIST conflocation number CDATA #REQUIRED>
				<!ATTLIST conflocation inverted (yes|no) "no">
			<!ELEMENT confsetting (condition?)>
				<!ATTLIST confsetting name CDATA #REQUIRED>
				<!ATTLIST confsetting value CDATA #REQUIRED>
				<!ATTLIST confsetting default (yes|no) "no">
		<!ELEMENT port (analog*)>
			<!ATTLIST port tag CDATA #REQUIRED>
			<!ELEMENT analog EMPTY>
				<!ATTLIST analog mask CDATA #REQUIRED>
		<!ELEMENT adjuster (condition?)>
			<!ATTLIST adjuster name CDATA #REQUIRED>
			<!ATTLIST adjuster default CDATA #REQUIRED>
		<!ELEMENT driver EMPTY>
			<!ATTLIST driver status (good|imperfect|preliminary) #REQUIRED>
			<!ATTLIST driver emulation (good|imperfect|preliminary) #REQUIRED>
			<!ATTLIST driver cocktail (good|imperfect|preliminary) #IMPLIED>
			<!ATTLIST driver savestate (supported|unsupported) #REQUIRED>
			<!ATTLIST driver requiresartwork (yes|no) "no">
			<!ATTLIST driver unofficial (yes|no) "no">
			<!ATTLIST driver nosoundhardware (yes|no) "no">
			<!ATTLIST driver incomplete (yes|no) "no">
		<!ELEMENT feature EMPTY>
			<!ATTLIST feature type (protection|timing|graphics|palette|sound|capture|camera|microphone|controls|keyboard|mouse|media|disk|printer|tape|punch|drum|rom|comms|lan|wan) #REQUIRED>
			<!ATTLIST feature status (unemulated|imperfect) #IMPLIED>
			<!ATTLIST feature overall (unemulated|imperfect) #IMPLIED>
		<!ELEMENT device (instance?, extension*)>
			<!ATTLIST device type CDATA #REQUIRED>
			<!ATTLIST device tag CDATA #IMPLIED>
			<!ATTLIST device fixed_image CDATA #IMPLIED>
			<!ATTLIST device mandatory CDATA #IMPLIED>
			<!ATTLIST device interface CDATA #IMPLIED>
			<!ELEMENT instance EMPTY>
				<!ATTLIST instance name CDATA #REQUIRED>
				<!ATTLIST instance briefname CDATA #REQUIRED>
			<!ELEMENT extension EMPTY>
				<!ATTLIST extension name CDATA #REQUIRED>
		<!ELEMENT slot (slotoption*)>
			<!ATTLIST slot name CDATA #REQUIRED>
			<!ELEMENT slotoption EMPTY>
				<!ATTLIST slotoption name CDATA #REQUIRED>
				<!ATTLIST slotoption devname CDATA #REQUIRED>
				<!ATTLIST slotoption default (yes|no) "no">
		<!ELEMENT softwarelist EMPTY>
			<!ATTLIST softwarelist tag CDATA #REQUIRED>
			<!ATTLIST softwarelist name CDATA #REQUIRED>
			<!ATTLIST softwarelist status (original|compatible) #REQUIRED>
			<!ATTLIST softwarelist filter CDATA #IMPLIED>
		<!ELEMENT ramoption (#PCDATA)>
			<!ATTLIST ramoption name CDATA #REQUIRED>
			<!ATTLIST ramoption default CDATA #IMPLIED>
]>

)DTD";

constexpr const char* kCpuNames[] = {
    "Zilog Z80",         "Motorola MC68000", "Motorola MC6809",       "MOS Technology 6502",
    "Intel 8080",        "NEC V30",          "Hitachi SH-2 (SH7604)", "ARM7",
    "Motorola MC68EC020"};
constexpr const char* kCpuTags[] = {"maincpu", "audiocpu", "subcpu", "mcu", "slave", "soundcpu"};
constexpr const char* kAudioNames[] = {
    "Speaker", "AY-3-8910A PSG",    "Yamaha YM2151", "Yamaha YM2203 OPN",
    "SN76496", "OKI MSM6295 ADPCM", "DAC",           "Yamaha YM2610 OPNB",
    "Samples"};
constexpr const char* kAudioTags[] = {"speaker", "lspeaker", "rspeaker", "ymsnd",
                                      "aysnd",   "oki",      "dac",      "samples"};
constexpr const char* kControlTypes[] = {"joy",   "joy",    "joy",       "only_buttons",
                                         "dial",  "paddle", "trackball", "lightgun",
                                         "pedal", "stick"};
constexpr const char* kDipNames[] = {"Coinage",     "Lives",     "Bonus Life",     "Difficulty",
                                     "Demo Sounds", "Cabinet",   "Flip Screen",    "Service Mode",
                                     "Coin A",      "Coin B",    "Allow Continue", "Unused",
                                     "Unknown",     "Game Time", "Language",       "Free Play"};
constexpr const char* kDipValues[] = {"Off",
                                      "On",
                                      "Easy",
                                      "Normal",
                                      "Hard",
                                      "Hardest",
                                      "1 Coin/1 Credit",
                                      "2 Coins/1 Credit",
                                      "1 Coin/2 Credits",
                                      "Upright",
                                      "Cocktail",
                                      "10000 & 50000",
                                      "3",
                                      "5",
                                      "Japanese",
                                      "English",
                                      "Infinite (Cheat)",
                                      "None"};
constexpr const char* kFeatureTypes[] = {"protection", "timing",     "graphics", "palette", "sound",
                                         "controls",   "microphone", "printer",  "lan"};
constexpr const char* kSampleWords[] = {"explode", "fire",  "thrust", "hit",    "bonus",
                                        "coin",    "laser", "jump",   "engine", "alarm"};
constexpr const char* kRefreshRates[] = {" refresh=\"60.000000\"", " refresh=\"59.637405\"",
                                         " refresh=\"57.444853\"", " refresh=\"54.706840\""};
constexpr const char* kSlotOptions[] = {"disk",   "cart",    "joy",   "mouse", "ram",
                                        "serial", "printer", "modem", "sound", "video"};

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '"':
                out += "&quot;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
}

// ` key="value"`, the value escaped.
void appendAttribute(std::string& out, std::string_view key, std::string_view value) {
    out += ' ';
    out += key;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

void appendAttribute(std::string& out, std::string_view key, long long value) {
    out += ' ';
    out += key;
    out += "=\"";
    appendNumber(out, value);
    out += '"';
}

void appendElement(std::string& out, std::string_view tag, std::string_view text) {
    out += "\t\t<";
    out += tag;
    out += '>';
    appendEscaped(out, text);
    out += "</";
    out += tag;
    out += ">\n";
}

void appendRom(std::string& out, const Rom& rom) {
    out += "\t\t<rom";
    appendAttribute(out, "name", rom.name);
    if (!rom.merge.empty()) appendAttribute(out, "merge", rom.merge);
    if (!rom.bios.empty()) appendAttribute(out, "bios", rom.bios);
    appendAttribute(out, "size", rom.size);
    if (rom.status == DumpStatus::nodump) {
        out += " status=\"nodump\"";
    } else {
        out += " crc=\"";
        appendHex(out, rom.crc, 8);
        out += "\" sha1=\"";
        out += rom.sha1;
        out += '"';
        if (rom.status == DumpStatus::baddump) out += " status=\"baddump\"";
    }
    appendAttribute(out, "region", rom.region);
    out += " offset=\"";
    int digits = 1;
    while (digits < 8 && (rom.offset >> (digits * 4)) != 0) ++digits;
    appendHex(out, rom.offset, digits);
    out += '"';
    if (rom.optional) out += " optional=\"yes\"";
    out += "/>\n";
}

void appendDisk(std::string& out, const Disk& disk) {
    out += "\t\t<disk";
    appendAttribute(out, "name", disk.name);
    if (!disk.merge.empty()) appendAttribute(out, "merge", disk.merge);
    if (disk.nodump)
        out += " status=\"nodump\"";
    else
        appendAttribute(out, "sha1", disk.sha1);
    out += " region=\"ide:0:hdd:image\"";
    appendAttribute(out, "index", disk.index);
    out += " writable=\"no\"/>\n";
}

// Everything below the roms and disks: the same lines for the same seed.
class Extras {
public:
    Extras(std::string& out, const Game& game, const std::vector<std::string_view>& devices)
        : out_(out), random_(game.extras), devices_(devices), device_(game.device) {}

    void write(const Game& game) {
        deviceRefs();
        if (!game.sampleof.empty()) samples();
        int audioChips = chips();
        if (!device_ || random_.percent(5)) displays();
        if (!device_ || audioChips > 0) {
            out_ += "\t\t<sound";
            appendAttribute(out_, "channels", audioChips > 0 ? random_.between(1, 2) : 0);
            out_ += "/>\n";
        }
        if (!device_) input();
        int switches =
            device_ ? (random_.percent(10) ? random_.between(1, 4) : 0) : random_.below(28);
        for (int i = 0; i < switches; ++i) dipswitch(i);
        if (!device_ && random_.percent(25))
            for (int i = random_.between(1, 3); i > 0; --i) configuration();
        ports();
        if (random_.percent(2)) adjuster();
        if (!device_) driver(game.driverStatus);
        if (random_.percent(20))
            for (int i = random_.between(1, 2); i > 0; --i) feature();
        if (random_.percent(device_ ? 10 : 5)) slots();
        if (!device_ && random_.percent(5)) softwareList();
        if (!device_ && random_.percent(3)) ramOptions();
    }

private:
    void deviceRefs() {
        if (devices_.empty()) return;
        int count = device_ ? random_.below(6) : random_.between(4, 31);
        for (int i = 0; i < count; ++i) {
            out_ += "\t\t<device_ref name=\"";
            out_ += devices_[static_cast<std::size_t>(
                random_.below(static_cast<int>(devices_.size())))];
            out_ += "\"/>\n";
        }
    }

    void samples() {
        for (int i = random_.between(10, 60); i > 0; --i) {
            out_ += "\t\t<sample name=\"";
            out_ += random_.pick(kSampleWords);
            appendNumber(out_, i);
            out_ += "\"/>\n";
        }
    }

    // Returns how many sound chips it listed.
    int chips() {
        int count = device_ ? random_.below(5) : random_.between(1, 8);
        int cpus = device_ ? random_.below(count + 1) : std::max(1, count / 2);
        for (int i = 0; i < count; ++i) {
            bool cpu = i < cpus;
            out_ += cpu ? "\t\t<chip type=\"cpu\"" : "\t\t<chip type=\"audio\"";
            out_ += " tag=\"";
            out_ += cpu ? random_.pick(kCpuTags) : random_.pick(kAudioTags);
            out_ += "\" name=\"";
            out_ += cpu ? random_.pick(kCpuNames) : random_.pick(kAudioNames);
            out_ += '"';
            if (cpu || random_.percent(70))
                appendAttribute(out_, "clock", random_.between(1000, 60000) * 1000LL);
            out_ += "/>\n";
        }
        return count - cpus;
    }

    void displays() {
        for (int i = random_.percent(10) ? 2 : 1; i > 0; --i) {
            int roll = random_.below(100);
            bool vector = roll < 3;
            out_ += "\t\t<display tag=\"";
            out_ += i == 1 ? "screen" : "lscreen";
            out_ += vector     ? "\" type=\"vector\""
                    : roll < 8 ? "\" type=\"lcd\""
                               : "\" type=\"raster\"";
            bool vertical = random_.percent(35);
            out_ += vertical ? " rotate=\"270\"" : " rotate=\"0\"";
            if (random_.percent(3)) out_ += " flipx=\"yes\"";
            int width = vertical ? 224 : random_.pick({256, 288, 304, 320, 384, 640});
            int height = vertical ? 288 : random_.pick({224, 240, 256, 480});
            if (!vector) {
                appendAttribute(out_, "width", width);
                appendAttribute(out_, "height", height);
            }
            out_ += random_.pick(kRefreshRates);
            if (!vector && random_.percent(70)) {
                int htotal = width + random_.between(64, 160);
                int vtotal = height + random_.between(16, 40);
                appendAttribute(out_, "pixclock", htotal * vtotal * 60LL);
                appendAttribute(out_, "htotal", htotal);
                appendAttribute(out_, "hbend", 0);
                appendAttribute(out_, "hbstart", width);
                appendAttribute(out_, "vtotal", vtotal);
                appendAttribute(out_, "vbend", 0);
                appendAttribute(out_, "vbstart", height);
            }
            out_ += " />\n";
        }
    }

    void input() {
        int players = random_.between(1, 4);
        out_ += "\t\t<input";
        appendAttribute(out_, "players", players);
        appendAttribute(out_, "coins", random_.between(1, 4));
        if (random_.percent(40)) out_ += " service=\"yes\"";
        if (random_.percent(20)) out_ += " tilt=\"yes\"";
        out_ += ">\n";
        const char* type = random_.pick(kControlTypes);
        int buttons = random_.between(0, 6);
        for (int player = 1; player <= players; ++player) {
            out_ += "\t\t\t<control type=\"";
            out_ += type;
            out_ += '"';
            appendAttribute(out_, "player", player);
            if (buttons > 0) {
                appendAttribute(out_, "buttons", buttons);
                appendAttribute(out_, "reqbuttons", buttons);
            }
            if (std::string_view(type) == "joy") {
                out_ += random_.percent(70) ? " ways=\"8\"" : " ways=\"4\"";
            } else if (std::string_view(type) != "only_buttons") {
                appendAttribute(out_, "minimum", 0);
                appendAttribute(out_, "maximum", 255);
                appendAttribute(out_, "sensitivity", random_.between(10, 100));
                appendAttribute(out_, "keydelta", random_.between(5, 30));
                if (random_.percent(20)) out_ += " reverse=\"yes\"";
            }
            out_ += "/>\n";
        }
        out_ += "\t\t</input>\n";
    }

    // A dip switch or a configuration setting: name, tag, mask, then its
    // locations and values.
    void switchBlock(const char* element, const char* location, const char* value, int index) {
        int bits = random_.between(1, 3);
        int shift = random_.between(0, 8 - bits);
        out_ += "\t\t<";
        out_ += element;
        appendAttribute(out_, "name", random_.pick(kDipNames));
        out_ += " tag=\"DSW";
        appendNumber(out_, 1 + index / 8);
        out_ += '"';
        appendAttribute(out_, "mask", ((1 << bits) - 1) << shift);
        out_ += ">\n";
        bool located = location && random_.percent(50);
        for (int bit = 0; bit < bits && located; ++bit) {
            out_ += "\t\t\t<";
            out_ += location;
            out_ += random_.percent(50) ? " name=\"SW1\"" : " name=\"DSW2\"";
            appendAttribute(out_, "number", shift + bit + 1);
            out_ += "/>\n";
        }
        int values = std::min(1 << bits, random_.between(2, 8));
        int preset = random_.below(values);
        for (int v = 0; v < values; ++v) {
            out_ += "\t\t\t<";
            out_ += value;
            appendAttribute(out_, "name", random_.pick(kDipValues));
            appendAttribute(out_, "value", v << shift);
            if (v == preset) out_ += " default=\"yes\"";
            out_ += "/>\n";
        }
        out_ += "\t\t</";
        out_ += element;
        out_ += ">\n";
    }

    void dipswitch(int index) { switchBlock("dipswitch", "diplocation", "dipvalue", index); }

    void configuration() {
        switchBlock("configuration", random_.percent(20) ? "conflocation" : nullptr, "confsetting",
                    0);
    }

    void ports() {
        int count = device_ ? random_.below(5) : random_.between(2, 13);
        for (int i = 0; i < count; ++i) {
            out_ += "\t\t<port tag=\":IN";
            appendNumber(out_, i);
            out_ += "\">\n";
            if (random_.percent(10)) {
                out_ += "\t\t\t<analog";
                appendAttribute(out_, "mask", 255);
                out_ += "/>\n";
            }
            out_ += "\t\t</port>\n";
        }
    }

    void adjuster() {
        out_ += "\t\t<adjuster name=\"Volume\"";
        appendAttribute(out_, "default", random_.between(0, 100));
        out_ += "/>\n";
    }

    void driver(const std::string& status) {
        out_ += "\t\t<driver status=\"";
        out_ += status;
        out_ += "\" emulation=\"";
        out_ += status;
        out_ += '"';
        if (random_.percent(30)) out_ += " cocktail=\"preliminary\"";
        out_ += random_.percent(60) ? " savestate=\"supported\"" : " savestate=\"unsupported\"";
        out_ += "/>\n";
    }

    void feature() {
        out_ += "\t\t<feature type=\"";
        out_ += random_.pick(kFeatureTypes);
        out_ +=
            random_.percent(50) ? "\" status=\"imperfect\"/>\n" : "\" status=\"unemulated\"/>\n";
    }

    void slots() {
        for (int s = random_.between(1, 6); s > 0; --s) {
            const char* kind = random_.pick(kSlotOptions);
            out_ += "\t\t<slot name=\"";
            out_ += kind;
            appendNumber(out_, s);
            out_ += "\">\n";
            int options = random_.between(2, 10);
            int preset = random_.below(options);
            for (int o = 0; o < options; ++o) {
                out_ += "\t\t\t<slotoption name=\"";
                out_ += kind;
                appendNumber(out_, o);
                out_ += "\" devname=\"";
                if (devices_.empty())
                    out_ += kind;
                else
                    out_ += devices_[static_cast<std::size_t>(
                        random_.below(static_cast<int>(devices_.size())))];
                out_ += '"';
                if (o == preset) out_ += " default=\"yes\"";
                out_ += "/>\n";
            }
            out_ += "\t\t</slot>\n";
        }
    }

    void softwareList() {
        out_ += "\t\t<softwarelist tag=\"cart_list\" name=\"";
        out_ += random_.pick(kSlotOptions);
        appendNumber(out_, random_.between(1, 99));
        out_ += random_.percent(80) ? "\" status=\"original\"/>\n" : "\" status=\"compatible\"/>\n";
    }

    void ramOptions() {
        int count = random_.between(2, 5);
        int preset = random_.below(count);
        for (int i = 0; i < count; ++i) {
            long long kilobytes = 16LL << i;
            out_ += "\t\t<ramoption name=\"";
            appendNumber(out_, kilobytes);
            out_ += 'K';
            out_ += '"';
            if (i == preset) appendAttribute(out_, "default", 1);
            out_ += '>';
            appendNumber(out_, kilobytes * 1024);
            out_ += "</ramoption>\n";
        }
    }

    std::string& out_;
    Random random_;
    const std::vector<std::string_view>& devices_;
    bool device_;
};

void appendMachine(std::string& out, const Game& game,
                   const std::vector<std::string_view>& devices) {
    out += "\t<machine";
    appendAttribute(out, "name", game.name);
    appendAttribute(out, "sourcefile", game.sourcefile);
    if (game.resource) out += " isbios=\"yes\"";
    if (game.device) out += " isdevice=\"yes\" runnable=\"no\"";
    if (game.mechanical) out += " ismechanical=\"yes\"";
    if (!game.cloneof.empty()) appendAttribute(out, "cloneof", game.cloneof);
    if (!game.romof.empty()) appendAttribute(out, "romof", game.romof);
    if (!game.sampleof.empty()) appendAttribute(out, "sampleof", game.sampleof);
    out += ">\n";
    appendElement(out, "description", game.description);
    if (!game.device) {
        appendElement(out, "year", game.year);
        appendElement(out, "manufacturer", game.manufacturer);
    }
    for (std::size_t i = 0; i < game.biosSets.size(); ++i) {
        out += "\t\t<biosset";
        appendAttribute(out, "name", game.biosSets[i].name);
        appendAttribute(out, "description", game.biosSets[i].description);
        if (i == 0) out += " default=\"yes\"";
        out += "/>\n";
    }
    for (const Rom& rom : game.roms) appendRom(out, rom);
    for (const Disk& disk : game.disks) appendDisk(out, disk);
    Extras(out, game, devices).write(game);
    out += "\t</machine>\n";
}

}  // namespace

void writeListxml(const std::vector<Game>& machines, std::string_view build, std::string& out) {
    std::vector<const Game*> order;
    order.reserve(machines.size());
    std::vector<std::string_view> devices;
    for (const Game& machine : machines) {
        order.push_back(&machine);
        if (machine.device) devices.push_back(machine.name);
    }
    std::sort(order.begin(), order.end(), [](const Game* a, const Game* b) {
        return a->device != b->device ? b->device : a->name < b->name;
    });
    std::sort(devices.begin(), devices.end());
    out.reserve(out.size() + kHeader.size() + machines.size() * 6600 + 64);
    out += kHeader;
    out += "<mame";
    appendAttribute(out, "build", build);
    out += " debug=\"no\" mameconfig=\"10\">\n";
    for (const Game* machine : order) appendMachine(out, *machine, devices);
    out += "</mame>\n";
}

}  // namespace zfe::datgen
