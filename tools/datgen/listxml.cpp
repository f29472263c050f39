// The machines of a -listxml dat: the same parents, clones and BIOS games as the
// listinfo dats, in the proportions of a real MAME 0.251, plus the devices that
// today's MAME lists as machines of their own.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "tools/datgen/generator.h"

namespace zfe::datgen::detail {
namespace {

// MAME 0.251's -listxml, from which every count scales.
constexpr int kRealDevices = 5'848;
constexpr int kRealBioses = 74;
constexpr int kRealClones = 26'051;
constexpr int kRealBiosGames = 1'626;  // on a BIOS set, without cloneof
constexpr int kRealRomless = 5'041;    // no rom, no disk
constexpr int kRealRomlessDevices = 4'971;

struct Counts {
    int devices = 0;
    int romlessDevices = 0;
    int bioses = 0;
    int parents = 0;  // on no BIOS set, the romless ones included
    int romlessParents = 0;
    int biosGames = 0;
    int clones = 0;
};

Counts countsFor(int machines) {
    double scale = machines / static_cast<double>(kListxmlMachines);
    auto part = [&](int real) { return static_cast<int>(std::lround(real * scale)); };
    Counts counts;
    counts.devices = part(kRealDevices);
    counts.romlessDevices = std::min(counts.devices, part(kRealRomlessDevices));
    counts.bioses = part(kRealBioses);
    counts.biosGames = counts.bioses > 0 ? part(kRealBiosGames) : 0;
    counts.clones = part(kRealClones);
    counts.parents = machines - counts.devices - counts.bioses - counts.biosGames - counts.clones;
    if (counts.parents < 0) {  // rounding, in a dat of a handful of machines
        counts.clones += counts.parents;
        counts.parents = 0;
    }
    counts.romlessParents = std::min(counts.parents, part(kRealRomless) - counts.romlessDevices);
    // A clone needs a parent with roms: it shares them.
    if (counts.parents - counts.romlessParents + counts.biosGames == 0) {
        counts.parents += counts.clones;
        counts.clones = 0;
    }
    return counts;
}

constexpr const char* kSourceFolders[] = {"sega",     "namco", "konami",   "capcom", "taito",
                                          "snk",      "irem",  "dataeast", "atari",  "midway",
                                          "nintendo", "misc",  "igs",      "jaleco", "toaplan"};

constexpr const char* kDeviceStems[] = {"z",   "ym",   "m",  "i",  "mc", "hd", "tms", "ay", "sn",
                                        "upd", "okim", "ns", "wd", "am", "pc", "mb",  "dp", "es",
                                        "k",   "r",    "sh", "v",  "x",  "ds", "cs"};
constexpr const char* kDeviceKinds[] = {"cpu", "sound", "machine", "video", "bus", "imagedev"};
constexpr const char* kDeviceVendors[] = {"Zilog",    "Yamaha",
                                          "Motorola", "Intel",
                                          "Hitachi",  "Texas Instruments",
                                          "NEC",      "AT&T",
                                          "Oki",      "National Semiconductor",
                                          "Fujitsu"};

class MachineMaker {
public:
    MachineMaker(Builder& builder, std::vector<Game>& dat)
        : builder_(builder), random_(builder.random()), dat_(dat) {}

    Game device(bool withRoms) {
        Game device;
        device.device = true;
        for (;;) {
            device.name = std::string(random_.pick(kDeviceStems)) +
                          std::to_string(random_.between(10, 99999));
            if (random_.percent(20)) device.name += static_cast<char>('a' + random_.below(4));
            if (builder_.claim(device.name)) break;
        }
        std::string upper = device.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        device.description = std::string(random_.pick(kDeviceVendors)) + " " + upper;
        device.sourcefile =
            std::string("src/devices/") + random_.pick(kDeviceKinds) + "/" + device.name + ".cpp";
        std::set<std::string> taken;
        for (int i = withRoms ? random_.between(1, 4) : 0; i > 0; --i) {
            Rom rom = builder_.makeRom(device.name, taken, device.name,
                                       regionEnd(device.roms, device.name), false);
            taken.insert(rom.name);
            device.roms.push_back(std::move(rom));
        }
        device.extras = random_.next();
        return device;
    }

    Game bios() {
        Game bios;
        bios.resource = true;
        bios.name = builder_.claimParentName();
        bios.description = builder_.title() + " BIOS";
        bios.year = builder_.year();
        bios.manufacturer = random_.pick(kManufacturers);
        bios.driverStatus = builder_.driverStatus();
        int sets = random_.between(1, 13);
        for (int i = 0; i < sets; ++i) {
            const BiosSetInfo& known = kBiosSets[i % std::size(kBiosSets)];
            bios.biosSets.push_back(
                {i < static_cast<int>(std::size(kBiosSets)) ? known.name
                                                            : "bios" + std::to_string(i),
                 std::string(known.description) + (i < 6 ? "" : " " + std::to_string(i))});
        }
        std::set<std::string> taken;
        for (const BiosSet& set : bios.biosSets) {
            Rom rom = builder_.makeRom(bios.name, taken, "mainbios", 0, false);
            rom.bios = set.name;
            taken.insert(rom.name);
            bios.roms.push_back(std::move(rom));
        }
        for (int i = random_.between(1, 3); i > 0; --i) {
            Rom rom =
                builder_.makeRom(bios.name, taken, "cpu2", regionEnd(bios.roms, "cpu2"), false);
            taken.insert(rom.name);
            bios.roms.push_back(std::move(rom));
        }
        fillIn(bios, nullptr);
        return bios;
    }

    // What only -listxml carries, for a game made by the builder; a clone takes
    // its parent's source file, samples and BIOS choices.
    void fillIn(Game& game, const Game* parent) {
        game.extras = random_.next();
        if (parent) {
            game.sourcefile = parent->sourcefile;
            game.sampleof = parent->sampleof;
            game.mechanical = parent->mechanical;
            game.biosSets = parent->biosSets;
            return;
        }
        game.sourcefile = std::string(random_.pick(kSourceFolders)) + "/" +
                          game.name.substr(0, std::min<std::size_t>(game.name.size(), 6)) + ".cpp";
        if (random_.percent(2)) game.sampleof = game.name;
        // A few more hard disks than the listinfo games carry, as real machines do.
        if (game.romof.empty() && game.disks.empty() && !game.roms.empty() &&
            random_.below(1000) < 7) {
            Disk disk;
            disk.name = game.name;
            disk.sha1 = builder_.sha1();
            game.disks.push_back(std::move(disk));
        }
        game.mechanical = random_.percent(1);
        for (const Game& bios : dat_) {
            if (!bios.resource) break;  // the BIOS sets lead the dat
            if (bios.name == game.romof) game.biosSets = bios.biosSets;
        }
        for (Rom& rom : game.roms)
            if (rom.merge.empty() && random_.percent(1)) rom.optional = true;
    }

    Random& random() { return random_; }

private:
    Builder& builder_;
    Random& random_;
    std::vector<Game>& dat_;  // for the BIOS sets, which lead it
};

std::vector<Game> firstVersion(Builder& builder, const Counts& counts, std::vector<Game>& devices) {
    std::vector<Game> dat;
    dat.reserve(static_cast<std::size_t>(counts.bioses + counts.parents + counts.biosGames +
                                         counts.clones));
    MachineMaker maker(builder, dat);
    Random& random = builder.random();
    for (int i = 0; i < counts.devices; ++i)
        devices.push_back(maker.device(i >= counts.romlessDevices));
    for (int i = 0; i < counts.bioses; ++i) dat.push_back(maker.bios());

    // Heads of families in a random mix of kinds; the clones go mostly to one
    // head in eight, as a few real parents have dozens of clones.
    int romless = counts.romlessParents;
    int plain = counts.parents - romless;
    int onBios = counts.biosGames;
    const int heads = plain + onBios;
    std::vector<int> clonesOf(static_cast<std::size_t>(heads), 0);
    for (int i = 0; i < counts.clones; ++i) {
        int head = random.below(heads);
        if (random.percent(60)) head -= head % 8;
        ++clonesOf[static_cast<std::size_t>(head)];
    }
    for (int head = 0; romless + plain + onBios > 0;) {
        int roll = random.below(romless + plain + onBios);
        if (roll < romless) {
            --romless;
            Game game = builder.makeParent(nullptr);
            game.roms.clear();
            game.disks.clear();
            maker.fillIn(game, nullptr);
            dat.push_back(std::move(game));
            continue;
        }
        const Game* bios = nullptr;
        if (roll < romless + onBios) {
            --onBios;
            bios = &dat[static_cast<std::size_t>(random.below(counts.bioses))];
        } else {
            --plain;
        }
        std::size_t parent = dat.size();
        dat.push_back(builder.makeParent(bios));
        maker.fillIn(dat.back(), nullptr);
        std::set<std::string> familyRomNames;
        for (int c = clonesOf[static_cast<std::size_t>(head++)]; c > 0; --c) {
            Game clone = builder.makeClone(dat[parent], familyRomNames);
            maker.fillIn(clone, &dat[parent]);
            dat.push_back(std::move(clone));
        }
    }
    return dat;
}

using RomData = std::tuple<std::uint32_t, std::uint32_t, std::string>;  // size, crc, sha1

RomData dataOf(const Rom& rom) {
    return {rom.size, rom.crc, rom.sha1};
}

// Moves about one clone in a hundred to another parent on no BIOS set, among
// the clones the next version left alone. A clone whose roms clash by name
// with the new family's stays where it is.
void reparentClones(std::vector<Game>& dat, Random& random, Changes& changes) {
    std::unordered_set<std::string> busy(changes.added.begin(), changes.added.end());
    busy.insert(changes.changed.begin(), changes.changed.end());
    for (const auto& renamed : changes.renamed) busy.insert(renamed.second);
    std::unordered_map<std::string, std::size_t> indexOf;
    std::unordered_map<std::string, std::vector<std::size_t>> clones;
    std::vector<std::size_t> parents;
    int cloneCount = 0;
    for (std::size_t i = 0; i < dat.size(); ++i) {
        indexOf.emplace(dat[i].name, i);
        if (!dat[i].cloneof.empty()) {
            clones[dat[i].cloneof].push_back(i);
            ++cloneCount;
        } else if (!dat[i].resource && dat[i].romof.empty() && !dat[i].roms.empty()) {
            parents.push_back(i);
        }
    }
    const int target = std::max(1, cloneCount / 100);
    int done = 0;
    for (int attempt = 0; attempt < target * 20 && done < target && parents.size() > 1; ++attempt) {
        Game& clone = dat[static_cast<std::size_t>(random.below(static_cast<int>(dat.size())))];
        if (clone.cloneof.empty() || busy.count(clone.name) ||
            !dat[indexOf.at(clone.cloneof)].romof.empty())
            continue;
        const Game& parent =
            dat[parents[static_cast<std::size_t>(random.below(static_cast<int>(parents.size())))]];
        if (parent.name == clone.cloneof) continue;
        std::unordered_map<std::string, RomData> family;
        for (const Rom& rom : parent.roms) family.emplace(rom.name, dataOf(rom));
        for (std::size_t member : clones[parent.name])
            for (const Rom& rom : dat[member].roms) family.emplace(rom.name, dataOf(rom));
        if (std::any_of(clone.roms.begin(), clone.roms.end(), [&](const Rom& rom) {
                auto known = family.find(rom.name);
                return known != family.end() && known->second != dataOf(rom);
            }))
            continue;
        for (Rom& rom : clone.roms) {
            bool parentHasIt = std::any_of(
                parent.roms.begin(), parent.roms.end(),
                [&](const Rom& r) { return r.name == rom.name && dataOf(r) == dataOf(rom); });
            rom.merge = parentHasIt ? rom.name : std::string();
        }
        for (Disk& disk : clone.disks) disk.merge.clear();
        auto& oldFamily = clones[clone.cloneof];
        std::size_t self = indexOf.at(clone.name);
        oldFamily.erase(std::find(oldFamily.begin(), oldFamily.end(), self));
        clones[parent.name].push_back(self);
        changes.reparented.push_back({clone.name, clone.cloneof, parent.name});
        clone.cloneof = parent.name;
        clone.romof = parent.name;
        busy.insert(clone.name);
        ++done;
    }
    std::sort(changes.reparented.begin(), changes.reparented.end());
}

// A new dump of one rom of about one device with roms in fifty, as a release
// fixes a sound chip's or a protection chip's dump: every machine that names
// the device needs its full non-merged set rebuilt.
void redumpDevices(std::vector<Game>& devices, Builder& builder, Changes& changes) {
    std::vector<std::size_t> withRoms;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].roms.empty()) withRoms.push_back(i);
    }
    Random& random = builder.random();
    for (int left = std::max(1, static_cast<int>(withRoms.size()) / 50);
         left > 0 && !withRoms.empty(); --left) {
        const auto pick = static_cast<std::size_t>(random.below(static_cast<int>(withRoms.size())));
        Game& device = devices[withRoms[pick]];
        withRoms.erase(withRoms.begin() + static_cast<std::ptrdiff_t>(pick));
        builder.redump(device.roms[static_cast<std::size_t>(
            random.below(static_cast<int>(device.roms.size())))]);
        changes.changed.push_back(device.name);
    }
    std::sort(changes.changed.begin(), changes.changed.end());
}

}  // namespace

Generated generateListxml(const Options& options) {
    Counts counts = countsFor(options.games);
    Builder builder(options.seed);
    builder.makeRicherGames();
    std::vector<Game> devices;
    std::vector<Game> dat = firstVersion(builder, counts, devices);
    Generated generated;
    if (options.nextVersion) {
        MachineMaker maker(builder, dat);
        NextVersion next(builder, dat);
        next.onNewGame = [&](Game& game, const Game* parent) { maker.fillIn(game, parent); };
        generated.changes = next.apply(counts.parents + counts.biosGames + counts.clones);
        reparentClones(dat, builder.random(), generated.changes);
        redumpDevices(devices, builder, generated.changes);
    }
    dat.reserve(dat.size() + devices.size());
    std::move(devices.begin(), devices.end(), std::back_inserter(dat));
    writeListxml(dat, options.nextVersion ? "0.252 (mame0252)" : "0.251 (mame0251)",
                 generated.text);
    return generated;
}

}  // namespace zfe::datgen::detail
