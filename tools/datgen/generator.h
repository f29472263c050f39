#pragma once

// The game maker and the next-version maker, shared by the listinfo and the
// -listxml generators. Internal to datgen.

#include <algorithm>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/datgen/datgen.h"
#include "tools/datgen/model.h"
#include "tools/datgen/random.h"

namespace zfe::datgen::detail {

constexpr const char* kSyllables[] = {
    "ga",  "la",  "xa",  "zo",  "ra",  "ter", "mon", "pac", "dig", "bur",  "tron",
    "kai", "sen", "do",  "ki",  "mu",  "ro",  "bat", "tle", "gun", "star", "dra",
    "gon", "nin", "ja",  "spy", "hun", "ter", "bo",  "mb",  "cos", "mo",   "rex",
    "vi",  "per", "sol", "lar", "jet", "pi",  "rat", "ze",  "bra", "kun",  "fu",
    "ti",  "gar", "mag", "ne",  "ox",  "qui", "ck",  "wiz", "ard", "el",   "vo",
};

constexpr const char* kCloneSuffixes[] = {"a",  "b", "c", "j", "u", "e",  "2", "3",
                                          "bl", "o", "k", "h", "w", "us", "jp"};

constexpr const char* kTitleWords[] = {
    "Space",   "Dragon",  "Ninja",   "Turbo",  "Galaxy",  "Street", "Knight", "Fighter",
    "Blaster", "Racer",   "Warrior", "Quest",  "Thunder", "Cobra",  "Shadow", "Metal",
    "Crystal", "Rally",   "Sky",     "Force",  "Legend",  "Wing",   "Hyper",  "Mega",
    "Power",   "Battle",  "Castle",  "Jungle", "Ocean",   "Moon",   "Star",   "Rocket",
    "Tiger",   "Phantom", "Pinball", "Puzzle", "Mahjong", "Golf",   "Soccer", "Boxing",
    "Circus",  "Volcano", "Pirate",  "Robot",  "Laser",   "Crazy",
};

constexpr const char* kTitleTails[] = {
    " II", " 2", " '98", " Deluxe", " Plus", " Special", " - The Arcade Game", ": Second Strike"};

constexpr const char* kManufacturers[] = {
    "Namco",
    "Konami",
    "Capcom",
    "Sega",
    "Taito",
    "SNK",
    "Irem",
    "Data East",
    "Williams",
    "Atari",
    "Nichibutsu",
    "Jaleco",
    "Midway",
    "Nintendo",
    "Technos",
    "Toaplan",
    "Cave",
    "Kaneko",
    "Tecmo",
    "Universal",
    "Sega / Gremlin",
    "Taito America Corporation (Romstar license)",
    "Namco (Atari license)",
    "Konami / Sega",
    "T\u014dkai Kikaku",
    "Art & Magic",
};

// Title words that a report must show as they are, outside ASCII.
constexpr const char* kAccentedWords[] = {"\u014ckami", "Se\u00f1or",     "Caf\u00e9",
                                          "\u00dcber",  "D\u014dj\u014d", "M\u00fcller's"};

constexpr const char* kDriverStatuses[] = {"preliminary", "imperfect", "good"};

constexpr const char* kCloneVariants[] = {
    "Japan", "US",           "Europe",    "World, set 2", "bootleg",   "set 2",
    "set 3", "Japan, older", "prototype", "hack",         "US, rev A", "Asia",
};

constexpr const char* kCpus[] = {"Z80", "M68000", "M6809", "M6502", "I8080",
                                 "V30", "HD6309", "SH2",   "ARM7",  "M68EC020"};
constexpr const char* kAudioChips[] = {"AY8910",   "YM2151", "YM2203", "SN76496",
                                       "OKIM6295", "DAC",    "YM2610", "Samples"};
constexpr const char* kControls[] = {"joy8way", "joy4way", "joy2way",  "trackball",
                                     "dial",    "paddle",  "lightgun", "stick"};

struct BiosInfo {
    const char* name;
    const char* description;
    const char* manufacturer;
    const char* year;
};

constexpr BiosInfo kBioses[] = {
    {"neogeo", "Neo-Geo", "SNK", "1990"},
    {"pgm", "PGM (Polygame Master) System BIOS", "IGS", "1997"},
    {"playch10", "PlayChoice-10 BIOS", "Nintendo of America", "1986"},
    {"decocass", "Cassette System", "Data East Corporation", "1981"},
    {"stvbios", "ST-V Bios", "Sega", "1996"},
};

struct BiosSetInfo {
    const char* name;
    const char* description;
};

constexpr BiosSetInfo kBiosSets[] = {
    {"euro", "Europe MVS (Ver. 2)"}, {"us", "US MVS (Ver. 2?)"}, {"asia", "Asia AES"},
    {"japan", "Japan MVS (Ver. 3)"}, {"v1", "Version 1"},        {"v2", "Version 2 (newer)"},
};

inline std::string hexDigits(Random& random, int count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count);
    std::uint64_t bits = 0;
    for (int i = 0; i < count; ++i) {
        if (i % 16 == 0) bits = random.next();
        text += kDigits[bits & 0xf];
        bits >>= 4;
    }
    return text;
}

inline std::uint32_t sizeForRegion(Random& random, std::string_view region) {
    int low = 12, high = 16;
    if (region == "cpu2") low = 11, high = 15;
    if (region == "gfx1" || region == "gfx2") low = 12, high = 19;
    if (region == "sound1") low = 15, high = 20;
    if (region == "proms") low = 5, high = 8;
    if (region == "user1") low = 16, high = 17;
    return std::uint32_t{1} << random.between(low, high);
}

inline std::uint32_t regionEnd(const std::vector<Rom>& roms, std::string_view region) {
    std::uint32_t end = 0;
    for (const Rom& rom : roms)
        if (rom.region == region) end = std::max(end, rom.offset + rom.size);
    return end;
}

class Builder {
public:
    explicit Builder(std::uint64_t seed) : random_(seed), looks_(seed ^ 0x6c6f6f6b73ULL) {
        for (const BiosInfo& bios : kBioses) used_.insert(bios.name);
    }

    Random& random() { return random_; }
    // For what a game looks like and how well it runs (titles' extra words,
    // driver statuses and their changes): a stream of its own, so that the
    // sets and their changes stay what they are for a seed.
    Random& looks() { return looks_; }

    // A -listxml dat lists more roms a machine than the listinfo dats of old.
    void makeRicherGames() { richerGames_ = true; }

    // Takes a name made elsewhere (a device's); false when it is taken.
    bool claim(const std::string& name) { return used_.insert(name).second; }

    std::string claimParentName() {
        for (;;) {
            std::string name;
            int syllables = random_.between(2, 3);
            for (int i = 0; i < syllables; ++i) name += random_.pick(kSyllables);
            if (name.size() > 8) name.resize(8);
            if (used_.insert(name).second) return name;
            for (char digit = '2'; digit <= '9'; ++digit) {
                std::string numbered = name.substr(0, 7) + digit;
                if (used_.insert(numbered).second) return numbered;
            }
        }
    }

    std::string claimCloneName(const std::string& parent) {
        int first = random_.below(static_cast<int>(std::size(kCloneSuffixes)));
        for (std::size_t i = 0; i < std::size(kCloneSuffixes); ++i) {
            std::string name = parent + kCloneSuffixes[(first + i) % std::size(kCloneSuffixes)];
            if (used_.insert(name).second) return name;
        }
        for (int number = 2;; ++number) {
            std::string name = parent + "v" + std::to_string(number);
            if (used_.insert(name).second) return name;
        }
    }

    std::string sha1() { return hexDigits(random_, 40); }
    std::string md5() { return hexDigits(random_, 32); }
    std::uint32_t crc() { return static_cast<std::uint32_t>(random_.next()); }

    // A rom name in the style of the game's board, unique among `taken`.
    std::string romName(const std::string& game, const std::set<std::string>& taken) {
        unsigned styleSeed = 0;
        for (char c : game) styleSeed = styleSeed * 31 + static_cast<unsigned char>(c);
        std::string stem = game.substr(0, std::min<std::size_t>(game.size(), 5));
        for (int counter = static_cast<int>(taken.size());; ++counter) {
            std::string position;
            position += static_cast<char>('1' + random_.below(9));
            position += static_cast<char>('a' + random_.below(16));
            std::string name;
            switch (styleSeed % 4) {
                case 0:
                    name = stem + "." + position;
                    break;
                case 1:
                    name =
                        stem + "-" + (counter < 10 ? "0" : "") + std::to_string(counter) + ".bin";
                    break;
                case 2:
                    name = "136" + std::to_string(styleSeed % 900 + 100) + "-" +
                           std::to_string(101 + counter) + "." + position;
                    break;
                default:
                    name = stem + std::to_string(counter % 10) + "." + position;
                    break;
            }
            if (!taken.count(name)) return name;
            // The board styles offer only so many positions; a crowded family
            // falls back on numbered names, which always end the search.
            if (counter - static_cast<int>(taken.size()) >= 32) {
                name = stem + "_" + std::to_string(counter) + ".bin";
                if (!taken.count(name)) return name;
            }
        }
    }

    Rom makeRom(const std::string& game, const std::set<std::string>& taken, std::string region,
                std::uint32_t offset, bool mayBeBad) {
        Rom rom;
        rom.name = romName(game, taken);
        rom.region = std::move(region);
        rom.size = sizeForRegion(random_, rom.region);
        rom.offset = offset;
        int roll = mayBeBad ? random_.below(100) : 99;
        if (roll < 3) {
            rom.status = DumpStatus::nodump;
            return rom;
        }
        rom.crc = crc();
        rom.sha1 = sha1();
        if (roll < 5) rom.status = DumpStatus::baddump;
        return rom;
    }

    void redump(Rom& rom) {
        rom.crc = crc();
        rom.sha1 = sha1();
        rom.status = DumpStatus::good;
    }

    Game makeBios(const BiosInfo& info) {
        Game bios;
        bios.resource = true;
        bios.name = info.name;
        bios.description = info.description;
        bios.manufacturer = info.manufacturer;
        bios.year = info.year;
        bios.driverStatus = driverStatus();
        int first = random_.below(static_cast<int>(std::size(kBiosSets)));
        int sets = random_.between(2, 3);
        for (int i = 0; i < sets; ++i) {
            const BiosSetInfo& set = kBiosSets[(first + i) % std::size(kBiosSets)];
            bios.biosSets.push_back({set.name, set.description});
        }
        std::set<std::string> taken;
        std::uint32_t offset = 0;
        for (const BiosSet& set : bios.biosSets) {
            Rom rom = makeRom(bios.name, taken, "user1", 0, false);
            rom.bios = set.name;
            taken.insert(rom.name);
            bios.roms.push_back(std::move(rom));
        }
        int common = random_.between(1, 3);
        for (int i = 0; i < common; ++i) {
            Rom rom = makeRom(bios.name, taken, "cpu2", offset, false);
            offset += rom.size;
            taken.insert(rom.name);
            bios.roms.push_back(std::move(rom));
        }
        return bios;
    }

    std::string title() {
        std::string text = random_.pick(kTitleWords);
        int words = random_.between(0, 2);
        for (int i = 0; i < words; ++i) {
            text += ' ';
            text += random_.pick(kTitleWords);
        }
        // A quote inside a description must survive the escaping.
        if (random_.percent(4)) text += std::string(" \"") + random_.pick(kTitleWords) + "\"";
        if (random_.percent(15)) text += random_.pick(kTitleTails);
        if (looks_.percent(4)) text += std::string(" & ") + looks_.pick(kTitleWords);
        if (looks_.percent(3)) text = std::string(looks_.pick(kAccentedWords)) + " " + text;
        return text;
    }

    // Three in four good, as in a real release.
    std::string driverStatus() {
        const int roll = looks_.below(100);
        return roll < 75 ? "good" : roll < 92 ? "imperfect" : "preliminary";
    }

    Hardware hardware() {
        Hardware hw;
        hw.cpu = random_.pick(kCpus);
        hw.cpuClock = random_.between(1000, 32000) * 1000;
        if (random_.percent(80)) {
            hw.audio = random_.pick(kAudioChips);
            hw.audioClock = random_.between(1000, 8000) * 1000;
        }
        hw.vertical = random_.percent(35);
        hw.width = hw.vertical ? 224 : random_.pick({256, 288, 304, 320, 384});
        hw.height = hw.vertical ? 288 : random_.pick({224, 240, 256});
        hw.channels = random_.between(1, 2);
        hw.players = random_.between(1, 4);
        hw.control = random_.pick(kControls);
        hw.buttons = random_.between(0, 6);
        hw.coins = random_.between(1, 4);
        hw.lives = random_.between(2, 5);
        hw.palette = 1 << random_.between(4, 12);
        hw.imperfect = random_.percent(10);
        return hw;
    }

    std::string year() {
        if (random_.percent(3)) return "19" + std::to_string(random_.between(7, 9)) + "?";
        return std::to_string(random_.between(1978, 2004));
    }

    Game makeParent(const Game* bios) {
        Game game;
        game.name = claimParentName();
        game.description = title();
        if (random_.percent(20)) game.description += " (World)";
        game.year = year();
        game.manufacturer = bios ? bios->manufacturer : random_.pick(kManufacturers);
        game.driverStatus = driverStatus();
        std::set<std::string> taken;
        if (bios) {
            game.romof = bios->name;
            for (const Rom& biosRom : bios->roms) {
                Rom rom = biosRom;
                rom.merge = biosRom.name;
                taken.insert(rom.name);
                game.roms.push_back(std::move(rom));
            }
        }
        int count = richerGames_ ? 1 + random_.below(6) + random_.below(5) +
                                       (random_.percent(30) ? random_.below(12) : 0)
                                 : 1 + random_.below(4) + random_.below(4) +
                                       (random_.percent(30) ? random_.below(9) : 0);
        int cpuRoms = std::min(count, random_.between(1, 3));
        bool soundCpu = random_.percent(50);
        int proms = count > 4 && random_.percent(40) ? random_.between(1, 2) : 0;
        std::vector<std::pair<std::string, std::uint32_t>> regionEnds;
        for (int i = 0; i < count; ++i) {
            std::string region = "gfx1";
            if (i < cpuRoms) {
                region = "cpu1";
            } else if (i == cpuRoms && soundCpu) {
                region = "cpu2";
            } else if (i >= count - proms) {
                region = "proms";
            } else if (i % 5 == 4) {
                region = random_.percent(50) ? "gfx2" : "sound1";
            }
            std::uint32_t offset = regionEnd(game.roms, region);
            Rom rom = makeRom(game.name, taken, region, offset, i > 0);
            taken.insert(rom.name);
            game.roms.push_back(std::move(rom));
        }
        if (!bios && random_.percent(3)) {
            Disk disk;
            disk.name = game.name;
            disk.sha1 = sha1();
            if (random_.percent(50)) disk.md5 = md5();
            disk.nodump = random_.percent(10);
            game.disks.push_back(std::move(disk));
        }
        game.hardware = hardware();
        return game;
    }

    // A clone of the parent as it is now: most roms shared through merge, at
    // least one of its own. Its own rom names avoid every name in the family
    // (`familyRomNames`, which grows by them), so that a merged set never holds
    // two different roms under one name.
    Game makeClone(const Game& parent, std::set<std::string>& familyRomNames) {
        Game clone;
        clone.name = claimCloneName(parent.name);
        clone.cloneof = parent.name;
        clone.romof = parent.name;
        std::string variant = random_.pick(kCloneVariants);
        std::string base = parent.description;
        if (base.size() > 8 && base.compare(base.size() - 8, 8, " (World)") == 0)
            base.resize(base.size() - 8);
        clone.description = base + " (" + variant + ")";
        clone.year = random_.percent(70) ? parent.year : year();
        clone.manufacturer = variant == "bootleg" ? "bootleg" : parent.manufacturer;
        clone.driverStatus = driverStatus();
        clone.hardware = parent.hardware;
        if (random_.percent(20)) clone.hardware.buttons = random_.between(0, 6);

        std::set<std::string>& taken = familyRomNames;
        for (const Rom& rom : parent.roms) taken.insert(rom.name);
        int own = 0;
        for (const Rom& parentRom : parent.roms) {
            Rom rom = parentRom;
            int roll = random_.below(100);
            if (!parentRom.merge.empty() || roll < 72) {
                rom.merge = parentRom.name;
            } else if (roll < 80) {
                rom.name = romName(clone.name, taken);
                rom.merge = parentRom.name;
            } else {
                rom = makeRom(clone.name, taken, parentRom.region, parentRom.offset, false);
                rom.size = parentRom.size;
                ++own;
            }
            taken.insert(rom.name);
            clone.roms.push_back(std::move(rom));
        }
        int extra = own == 0 ? 1 : (random_.percent(15) ? random_.between(1, 2) : 0);
        for (int i = 0; i < extra; ++i) {
            Rom rom = makeRom(clone.name, taken, "cpu1", regionEnd(clone.roms, "cpu1"), true);
            taken.insert(rom.name);
            clone.roms.push_back(std::move(rom));
        }
        for (const Disk& parentDisk : parent.disks) {
            Disk disk = parentDisk;
            if (random_.percent(60)) {
                disk.merge = parentDisk.name;
            } else {
                disk.name = clone.name;
                disk.sha1 = sha1();
                if (!disk.md5.empty()) disk.md5 = md5();
                disk.nodump = false;
            }
            clone.disks.push_back(std::move(disk));
        }
        return clone;
    }

    int familyClones(int left) {
        int roll = random_.below(100);
        int clones = roll < 55 ? 0 : roll < 80 ? 1 : roll < 92 ? 2 : random_.between(3, 6);
        return std::min(clones, left);
    }

private:
    Random random_;
    Random looks_;
    std::set<std::string> used_;  // every game name ever made: no new game takes an old name
    bool richerGames_ = false;
};

// Turns the first version into the next one, the way a new emulator release
// changes its dat. Each game takes part in at most one change, so that the
// change list describes the difference exactly.
class NextVersion {
public:
    NextVersion(Builder& builder, std::vector<Game>& dat)
        : builder_(builder),
          random_(builder.random()),
          dat_(dat),
          touched_(dat.size(), false),
          removed_(dat.size(), false) {
        for (std::size_t i = 0; i < dat_.size(); ++i) {
            indexOf_.emplace(dat_[i].name, i);
            if (!dat_[i].cloneof.empty()) clones_[dat_[i].cloneof].push_back(i);
        }
    }

    // Called on each game the next version adds, parents before their clones
    // (parent: the clone's parent, else null), to fill in what only one
    // output format carries.
    std::function<void(Game&, const Game*)> onNewGame = [](Game&, const Game*) {};

    Changes apply(int games) {
        int base = std::max(games, 0);
        removeGames(std::max(1, base * 3 / 100));
        renameGames(std::max(1, base * 2 / 100));
        changeGames(std::max(3, base * 5 / 100));
        compact();
        addClones(std::max(1, base * 2 / 100));
        addFamilies(std::max(1, base * 3 / 100));
        insertAdditions();
        changeLooks(std::max(3, base / 100), std::max(1, base / 200));
        std::sort(changes_.added.begin(), changes_.added.end());
        std::sort(changes_.removed.begin(), changes_.removed.end());
        std::sort(changes_.renamed.begin(), changes_.renamed.end());
        std::sort(changes_.changed.begin(), changes_.changed.end());
        return std::move(changes_);
    }

private:
    // Parents are never renamed while they have clones, so the index by the
    // first version's names stays valid until the removed games go.
    std::vector<std::size_t> clonesOf(std::size_t parent) const {
        std::vector<std::size_t> clones;
        auto found = clones_.find(dat_[parent].name);
        if (found != clones_.end())
            for (std::size_t i : found->second)
                if (!removed_[i]) clones.push_back(i);
        return clones;
    }

    // A random game still free for a change, or dat size when none was found.
    std::size_t pickFree() {
        if (dat_.empty()) return 0;
        for (int attempt = 0; attempt < 64; ++attempt) {
            std::size_t i = random_.below(static_cast<int>(dat_.size()));
            if (!dat_[i].resource && !touched_[i] && !removed_[i]) return i;
        }
        return dat_.size();
    }

    void removeGames(int target) {
        int done = 0;
        for (int attempt = 0; attempt < target * 20 && done < target; ++attempt) {
            std::size_t i = pickFree();
            if (i == dat_.size()) break;
            std::vector<std::size_t> family = clonesOf(i);
            if (!family.empty()) {
                bool clonesFree = std::none_of(family.begin(), family.end(),
                                               [&](std::size_t c) { return touched_[c]; });
                if (!clonesFree || !random_.percent(40)) continue;
            }
            family.push_back(i);
            for (std::size_t member : family) {
                removed_[member] = true;
                changes_.removed.push_back(dat_[member].name);
                ++done;
            }
        }
    }

    void renameGames(int target) {
        int done = 0;
        for (int attempt = 0; attempt < target * 20 && done < target; ++attempt) {
            std::size_t i = pickFree();
            if (i == dat_.size()) break;
            if (!clonesOf(i).empty()) continue;  // keeps every clone's cloneof valid
            Game& game = dat_[i];
            std::string newName = game.cloneof.empty() ? builder_.claimParentName()
                                                       : builder_.claimCloneName(game.cloneof);
            changes_.renamed.emplace_back(game.name, newName);
            game.name = std::move(newName);
            touched_[i] = true;
            ++done;
        }
    }

    void changeGames(int target) {
        int done = 0;
        for (int attempt = 0; attempt < target * 20 && done < target; ++attempt) {
            std::size_t i = pickFree();
            if (i == dat_.size()) break;
            bool changed = false;
            switch (done % 3) {
                case 0:
                    changed = addRom(i);
                    break;
                case 1:
                    changed = removeRom(i) || addRom(i);
                    break;
                default:
                    changed = redumpRom(i) || addRom(i);
                    break;
            }
            if (!changed) continue;
            touched_[i] = true;
            changes_.changed.push_back(dat_[i].name);
            ++done;
        }
    }

    std::set<std::string> familyRomNames(std::size_t i) const {
        std::size_t parent = dat_[i].cloneof.empty() ? i : indexOf_.at(dat_[i].cloneof);
        std::vector<std::size_t> family = clonesOf(parent);
        family.push_back(parent);
        std::set<std::string> names;
        for (std::size_t member : family)
            for (const Rom& rom : dat_[member].roms) names.insert(rom.name);
        return names;
    }

    bool addRom(std::size_t i) {
        Game& game = dat_[i];
        std::vector<std::size_t> own;
        for (std::size_t r = 0; r < game.roms.size(); ++r)
            if (game.roms[r].merge.empty()) own.push_back(r);
        std::string region =
            own.empty() ? "cpu1"
                        : game.roms[own[random_.below(static_cast<int>(own.size()))]].region;
        Rom rom = builder_.makeRom(game.name, familyRomNames(i), region,
                                   regionEnd(game.roms, region), true);
        auto last = std::find_if(game.roms.rbegin(), game.roms.rend(),
                                 [&](const Rom& r) { return r.region == region; });
        game.roms.insert(last.base(), std::move(rom));
        return true;
    }

    // Names of roms of the game that some remaining clone merges.
    std::set<std::string> mergedByClones(std::size_t i) const {
        std::set<std::string> names;
        for (std::size_t c : clonesOf(i))
            for (const Rom& rom : dat_[c].roms)
                if (!rom.merge.empty()) names.insert(rom.merge);
        return names;
    }

    bool removeRom(std::size_t i) {
        Game& game = dat_[i];
        std::set<std::string> merged = mergedByClones(i);
        std::vector<std::size_t> candidates;
        int own = 0;
        for (std::size_t r = 0; r < game.roms.size(); ++r) {
            if (!game.roms[r].merge.empty()) continue;
            ++own;
            if (!merged.count(game.roms[r].name)) candidates.push_back(r);
        }
        if (own < 2 || candidates.empty()) return false;
        std::size_t r = candidates[random_.below(static_cast<int>(candidates.size()))];
        game.roms.erase(game.roms.begin() + static_cast<std::ptrdiff_t>(r));
        return true;
    }

    // A new dump of one of the game's own roms; clones that share it get the
    // same new data and count as changed too.
    bool redumpRom(std::size_t i) {
        Game& game = dat_[i];
        std::vector<std::size_t> clones = clonesOf(i);
        std::vector<std::size_t> candidates;
        for (std::size_t r = 0; r < game.roms.size(); ++r) {
            if (!game.roms[r].merge.empty()) continue;
            bool sharedWithBusyClone = false;
            for (std::size_t c : clones)
                if (touched_[c] &&
                    std::any_of(dat_[c].roms.begin(), dat_[c].roms.end(),
                                [&](const Rom& rom) { return rom.merge == game.roms[r].name; }))
                    sharedWithBusyClone = true;
            if (!sharedWithBusyClone) candidates.push_back(r);
        }
        if (candidates.empty()) return false;
        Rom& rom = game.roms[candidates[random_.below(static_cast<int>(candidates.size()))]];
        builder_.redump(rom);
        for (std::size_t c : clones) {
            bool shares = false;
            for (Rom& cloneRom : dat_[c].roms) {
                if (cloneRom.merge != rom.name) continue;
                cloneRom.crc = rom.crc;
                cloneRom.sha1 = rom.sha1;
                cloneRom.status = rom.status;
                shares = true;
            }
            if (shares) {
                touched_[c] = true;
                changes_.changed.push_back(dat_[c].name);
            }
        }
        return true;
    }

    void compact() {
        std::vector<Game> kept;
        kept.reserve(dat_.size());
        for (std::size_t i = 0; i < dat_.size(); ++i)
            if (!removed_[i]) kept.push_back(std::move(dat_[i]));
        dat_ = std::move(kept);
        touched_.assign(dat_.size(), false);
        removed_.assign(dat_.size(), false);
        indexOf_.clear();
        clones_.clear();
    }

    // Driver statuses, three in four for the better, and descriptions of games
    // that keep their names; from the builder's stream for looks.
    void changeLooks(int statuses, int descriptions) {
        Random& looks = builder_.looks();
        std::set<std::string> fresh(changes_.added.begin(), changes_.added.end());
        for (const auto& renamed : changes_.renamed) fresh.insert(renamed.second);
        std::set<std::string> done;
        const auto pick = [&]() -> Game* {
            Game& game = dat_[static_cast<std::size_t>(looks.below(static_cast<int>(dat_.size())))];
            if (game.resource || fresh.count(game.name) || done.count(game.name)) return nullptr;
            return &game;
        };
        for (int change = 0; change < statuses && !dat_.empty(); ++change) {
            // The second of every four gets worse: both ways in the smallest dat.
            const bool better = change % 4 != 1;
            for (int attempt = 0; attempt < 64; ++attempt) {
                Game* game = pick();
                if (game == nullptr) continue;
                const int from =
                    static_cast<int>(std::find(std::begin(kDriverStatuses),
                                               std::end(kDriverStatuses), game->driverStatus) -
                                     std::begin(kDriverStatuses));
                if (from == 3 || (better ? from == 2 : from == 0)) continue;
                const int to = better ? looks.between(from + 1, 2) : looks.between(0, from - 1);
                changes_.statusChanged.push_back(
                    {game->name, game->driverStatus, kDriverStatuses[to]});
                game->driverStatus = kDriverStatuses[to];
                done.insert(game->name);
                break;
            }
        }
        for (int attempt = 0; attempt < descriptions * 20 && !dat_.empty() &&
                              static_cast<int>(changes_.redescribed.size()) < descriptions;
             ++attempt) {
            Game* game = pick();
            if (game == nullptr) continue;
            std::string& text = game->description;
            const std::string revision = "rev " + std::to_string(looks.between(1, 3));
            if (!text.empty() && text.back() == ')') {
                text.insert(text.size() - 1, ", " + revision);
            } else {
                text += " (" + revision + ")";
            }
            changes_.redescribed.push_back(game->name);
            done.insert(game->name);
        }
        std::sort(changes_.statusChanged.begin(), changes_.statusChanged.end());
        std::sort(changes_.redescribed.begin(), changes_.redescribed.end());
    }

    // One pass instead of an insertion each: a 40,000-game dat gets thousands.
    void insertAdditions() {
        std::stable_sort(additions_.begin(), additions_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Game> merged;
        merged.reserve(dat_.size() + additions_.size());
        auto addition = additions_.begin();
        for (std::size_t i = 0; i <= dat_.size(); ++i) {
            for (; addition != additions_.end() && addition->first == i; ++addition)
                merged.push_back(std::move(addition->second));
            if (i < dat_.size()) merged.push_back(std::move(dat_[i]));
        }
        dat_ = std::move(merged);
        additions_.clear();
    }

    std::size_t familyEnd(std::size_t parent) const {
        std::size_t end = parent + 1;
        while (end < dat_.size() && dat_[end].cloneof == dat_[parent].name) ++end;
        return end;
    }

    void addClones(int target) {
        int done = 0;
        for (int attempt = 0; attempt < target * 20 && done < target && !dat_.empty(); ++attempt) {
            std::size_t i = random_.below(static_cast<int>(dat_.size()));
            if (dat_[i].resource || !dat_[i].cloneof.empty()) continue;
            const std::size_t end = familyEnd(i);
            std::set<std::string> familyRomNames;
            for (std::size_t member = i; member < end; ++member)
                for (const Rom& rom : dat_[member].roms) familyRomNames.insert(rom.name);
            for (const auto& pending : additions_)
                if (pending.second.cloneof == dat_[i].name)
                    for (const Rom& rom : pending.second.roms) familyRomNames.insert(rom.name);
            Game clone = builder_.makeClone(dat_[i], familyRomNames);
            onNewGame(clone, &dat_[i]);
            changes_.added.push_back(clone.name);
            additions_.emplace_back(end, std::move(clone));
            ++done;
        }
    }

    void addFamilies(int target) {
        int done = 0;
        // The BIOS sets lead the dat; new families wait in additions_, so dat_
        // stays as it is here.
        std::size_t firstGame = 0;
        while (firstGame < dat_.size() && dat_[firstGame].resource) ++firstGame;
        while (done < target) {
            std::vector<Game> family;
            if (firstGame > 0 && random_.percent(10))
                family.push_back(
                    builder_.makeParent(&dat_[random_.below(static_cast<int>(firstGame))]));
            else
                family.push_back(builder_.makeParent(nullptr));
            onNewGame(family.front(), nullptr);
            int clones = std::min(builder_.familyClones(target), 2);
            std::set<std::string> familyRomNames;
            for (int c = 0; c < clones; ++c) {
                family.push_back(builder_.makeClone(family.front(), familyRomNames));
                onNewGame(family.back(), &family.front());
            }
            std::size_t at =
                firstGame + random_.below(static_cast<int>(dat_.size() - firstGame) + 1);
            while (at < dat_.size() && !dat_[at].cloneof.empty()) ++at;
            for (const Game& game : family) changes_.added.push_back(game.name);
            done += static_cast<int>(family.size());
            for (Game& game : family) additions_.emplace_back(at, std::move(game));
        }
    }

    Builder& builder_;
    Random& random_;
    std::vector<Game>& dat_;
    std::vector<bool> touched_;
    std::vector<bool> removed_;
    std::unordered_map<std::string, std::size_t> indexOf_;
    std::unordered_map<std::string, std::vector<std::size_t>> clones_;  // by parent name
    std::vector<std::pair<std::size_t, Game>> additions_;  // inserted before that index
    Changes changes_;
};

// The -listxml form of generate(), before any CRLF.
Generated generateListxml(const Options& options);

}  // namespace zfe::datgen::detail
