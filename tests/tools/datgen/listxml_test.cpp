#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "tools/datgen/datgen.h"

namespace zfe::datgen {
namespace {

// A tenth of MAME 0.251.
constexpr int kMachines = 4'529;
constexpr double kScale = kMachines / static_cast<double>(kListxmlMachines);

Options listxml(int machines, std::uint32_t seed, bool next = false) {
    return {machines, seed, next, false, Format::listxml};
}

std::string print(pugi::xml_node node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return out.str();
}

// What a machine's sets are made of, its rom and disk lines (or all the rest).
std::string lines(pugi::xml_node machine, bool roms) {
    std::string text;
    if (!roms)
        for (pugi::xml_attribute attribute : machine.attributes())
            text += std::string(attribute.name()) + "=" + attribute.value() + "\n";
    for (pugi::xml_node child : machine.children()) {
        std::string_view name = child.name();
        if ((name == "rom" || name == "disk") == roms) text += print(child) + "\n";
    }
    return text;
}

struct Dat {
    pugi::xml_document document;
    std::map<std::string, pugi::xml_node> machines;
    std::vector<std::string> order;
};

void load(const std::string& text, Dat& dat) {
    pugi::xml_parse_result result = dat.document.load_buffer(
        text.data(), text.size(), pugi::parse_default | pugi::parse_doctype);
    ASSERT_TRUE(result) << result.description() << " at byte " << result.offset;
    for (pugi::xml_node machine : dat.document.child("mame").children("machine")) {
        std::string name = machine.attribute("name").value();
        EXPECT_TRUE(dat.machines.emplace(name, machine).second) << "machine " << name << " twice";
        dat.order.push_back(name);
    }
}

bool isYes(pugi::xml_node machine, const char* flag) {
    return std::string_view(machine.attribute(flag).value()) == "yes";
}

// What the diff tool's set types need, and what MAME guarantees.
void expectConsistent(const Dat& dat) {
    using RomData = std::string;  // size crc sha1
    auto dataOf = [](pugi::xml_node rom) {
        return std::string(rom.attribute("size").value()) + " " + rom.attribute("crc").value() +
               " " + rom.attribute("sha1").value();
    };
    std::map<std::string, std::map<std::string, RomData>> families;
    for (const auto& [name, machine] : dat.machines) {
        SCOPED_TRACE(name);
        std::string cloneof = machine.attribute("cloneof").value();
        std::string romof = machine.attribute("romof").value();
        if (!cloneof.empty()) {
            ASSERT_TRUE(dat.machines.count(cloneof)) << "missing parent " << cloneof;
            pugi::xml_node parent = dat.machines.at(cloneof);
            EXPECT_FALSE(parent.attribute("cloneof")) << "clone of a clone";
            EXPECT_FALSE(isYes(parent, "isdevice") || isYes(parent, "isbios"));
            EXPECT_EQ(romof, cloneof);
            bool ownRom = false;
            for (pugi::xml_node rom : machine.children("rom"))
                ownRom = ownRom || !rom.attribute("merge");
            EXPECT_TRUE(ownRom) << "a clone without a rom of its own has an empty split set";
        } else if (!romof.empty()) {
            ASSERT_TRUE(dat.machines.count(romof));
            EXPECT_TRUE(isYes(dat.machines.at(romof), "isbios")) << "romof alone names a BIOS set";
        }
        std::set<std::string> romNames;
        for (pugi::xml_node rom : machine.children("rom")) {
            std::string romName = rom.attribute("name").value();
            EXPECT_TRUE(romNames.insert(romName).second) << "rom " << romName << " twice";
            std::string parent = cloneof.empty() ? name : cloneof;
            auto [known, fresh] = families[parent].emplace(romName, dataOf(rom));
            EXPECT_TRUE(fresh || known->second == dataOf(rom)) << "two contents for " << romName;
            if (!rom.attribute("merge")) continue;
            ASSERT_FALSE(romof.empty()) << "merge without romof: " << romName;
            pugi::xml_node shared = dat.machines.at(romof).find_child_by_attribute(
                "rom", "name", rom.attribute("merge").value());
            ASSERT_TRUE(shared) << romName << " merges a rom " << romof << " lacks";
            EXPECT_EQ(dataOf(shared), dataOf(rom)) << romName;
        }
        for (pugi::xml_node ref : machine.children("device_ref"))
            EXPECT_TRUE(isYes(dat.machines.at(ref.attribute("name").value()), "isdevice"));
    }
}

TEST(DatgenListxml, ScaledDownDatHasTheShapeOfMame0251) {
    std::string text = generate(listxml(kMachines, 5)).text;
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?>\n<!DOCTYPE mame [\n", 0), 0u);
    Dat dat;
    load(text, dat);
    pugi::xml_node mame = dat.document.child("mame");
    EXPECT_STREQ(mame.attribute("build").value(), "0.251 (mame0251)");
    EXPECT_STREQ(mame.attribute("debug").value(), "no");
    EXPECT_STREQ(mame.attribute("mameconfig").value(), "10");
    expectConsistent(dat);

    std::map<std::string, int> elements;
    int devices = 0, bioses = 0, clones = 0, biosGames = 0, romless = 0;
    bool devicesStarted = false;
    std::string previous;
    for (const std::string& name : dat.order) {
        pugi::xml_node machine = dat.machines.at(name);
        bool device = isYes(machine, "isdevice");
        devices += device;
        bioses += isYes(machine, "isbios");
        clones += !machine.attribute("cloneof").empty();
        biosGames += machine.attribute("cloneof").empty() && !machine.attribute("romof").empty();
        romless += !machine.child("rom") && !machine.child("disk");
        for (pugi::xml_node child : machine.children()) {
            ++elements[child.name()];
            for (pugi::xml_node inner : child.children()) ++elements[inner.name()];
        }
        if (device != devicesStarted) {
            EXPECT_TRUE(device) << "a machine after the devices: " << name;
            devicesStarted = true;
        } else {
            EXPECT_LT(previous, name) << "out of order";
        }
        previous = name;
    }
    EXPECT_EQ(dat.order.size(), static_cast<std::size_t>(kMachines));
    auto near = [](int real, double share) { return std::max(1.0, real * kScale * share); };
    EXPECT_NEAR(devices, 5'848 * kScale, 1);
    EXPECT_NEAR(bioses, 74 * kScale, 1);
    EXPECT_NEAR(clones, 26'051 * kScale, 1);
    EXPECT_NEAR(biosGames, 1'626 * kScale, 1);
    EXPECT_NEAR(romless, 5'041 * kScale, 1);
    EXPECT_NEAR(elements["rom"], 336'504 * kScale, near(336'504, 0.1));
    EXPECT_NEAR(elements["device_ref"], 697'473 * kScale, near(697'473, 0.1));
    EXPECT_NEAR(elements["dipswitch"], 528'420 * kScale, near(528'420, 0.1));
    EXPECT_NEAR(elements["port"], 309'194 * kScale, near(309'194, 0.1));
    EXPECT_NEAR(elements["chip"], 186'697 * kScale, near(186'697, 0.1));
    // Few BIOS sets, hard disks and sampled games at this size: wider margins.
    EXPECT_NEAR(elements["biosset"], 34'806 * kScale, near(34'806, 0.5));
    EXPECT_NEAR(elements["sample"], 27'417 * kScale, near(27'417, 0.5));
    EXPECT_NEAR(elements["disk"], 1'273 * kScale, near(1'273, 0.5));
    for (const char* kind : {"display", "sound", "input", "control", "diplocation", "dipvalue",
                             "configuration", "confsetting", "analog", "driver", "feature", "slot",
                             "slotoption", "softwarelist", "ramoption"})
        EXPECT_GT(elements[kind], 0) << kind;
    EXPECT_NE(text.find("&quot;"), std::string::npos) << "a quote in a description, escaped";
    EXPECT_NE(text.find("status=\"nodump\""), std::string::npos);
    EXPECT_NE(text.find("status=\"baddump\""), std::string::npos);
}

TEST(DatgenListxml, TinyDatsAreWellFormed) {
    for (int machines : {0, 1, 3, 12, 40}) {
        SCOPED_TRACE(machines);
        Dat dat;
        load(generate(listxml(machines, 2)).text, dat);
        EXPECT_EQ(dat.order.size(), static_cast<std::size_t>(machines));
        expectConsistent(dat);
    }
}

std::uint64_t fingerprint(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

TEST(DatgenListxml, SameOptionsGiveTheSameBytesOnEveryPlatform) {
    std::string first = generate(listxml(600, 3)).text;
    EXPECT_EQ(first, generate(listxml(600, 3)).text);
    EXPECT_NE(first, generate(listxml(600, 4)).text);
    EXPECT_EQ(fingerprint(generate(listxml(300, 9)).text), 0x7cdb1e2a00c04000ULL);
    EXPECT_EQ(fingerprint(generate(listxml(300, 9, true)).text), 0x0219582143e6d54cULL);
}

// The change list against what pugixml sees in the two dats.
TEST(DatgenListxml, NextVersionDiffersExactlyAsAnnounced) {
    Dat before, after;
    load(generate(listxml(kMachines, 6)).text, before);
    Generated next = generate(listxml(kMachines, 6, true));
    load(next.text, after);
    expectConsistent(after);
    const Changes& changes = next.changes;
    EXPECT_STREQ(after.document.child("mame").attribute("build").value(), "0.252 (mame0252)");
    for (const auto* list : {&changes.added, &changes.removed, &changes.changed})
        EXPECT_FALSE(list->empty());
    // Devices' roms change too, as every machine that names one sees them.
    EXPECT_TRUE(std::any_of(changes.changed.begin(), changes.changed.end(), [&](const auto& name) {
        return isYes(after.machines.at(name), "isdevice");
    }));
    EXPECT_FALSE(changes.renamed.empty());
    ASSERT_FALSE(changes.reparented.empty());
    EXPECT_TRUE(std::is_sorted(changes.reparented.begin(), changes.reparented.end()));

    std::set<std::string> added(changes.added.begin(), changes.added.end());
    std::set<std::string> removed(changes.removed.begin(), changes.removed.end());
    std::set<std::string> changed(changes.changed.begin(), changes.changed.end());
    std::map<std::string, std::string> renamedTo;  // new name -> old
    for (const auto& [from, to] : changes.renamed) renamedTo[to] = from;
    std::map<std::string, Reparented> moved;
    for (const Reparented& move : changes.reparented) moved[move.name] = move;
    // The announced status and description changes, made to the old machines:
    // then a machine differs in what it was announced for alone.
    std::size_t better = 0;
    for (const StatusChange& change : changes.statusChanged) {
        ASSERT_TRUE(before.machines.count(change.name) && after.machines.count(change.name));
        pugi::xml_node driver = before.machines.at(change.name).child("driver");
        EXPECT_STREQ(driver.attribute("status").value(), change.from.c_str()) << change.name;
        EXPECT_STREQ(after.machines.at(change.name).child("driver").attribute("status").value(),
                     change.to.c_str());
        driver.attribute("status").set_value(change.to.c_str());
        driver.attribute("emulation").set_value(change.to.c_str());
        const std::string ranks = "preliminary imperfect good";
        if (ranks.find(change.to) > ranks.find(change.from)) ++better;
    }
    EXPECT_GT(better, changes.statusChanged.size() - better) << "more get better than worse";
    EXPECT_GT(changes.statusChanged.size() - better, 0u);
    ASSERT_FALSE(changes.redescribed.empty());
    for (const std::string& name : changes.redescribed) {
        pugi::xml_node description = before.machines.at(name).child("description");
        const std::string now = after.machines.at(name).child_value("description");
        EXPECT_NE(description.child_value(), now);
        description.text().set(now.c_str());
    }

    for (const auto& [name, machine] : before.machines) {
        bool renamedAway = std::any_of(changes.renamed.begin(), changes.renamed.end(),
                                       [&](const auto& pair) { return pair.first == name; });
        if (!after.machines.count(name)) {
            EXPECT_TRUE(removed.count(name) || renamedAway) << "gone unannounced: " << name;
        }
    }
    for (const auto& [name, machine] : after.machines) {
        SCOPED_TRACE(name);
        if (added.count(name)) {
            EXPECT_FALSE(before.machines.count(name));
            continue;
        }
        EXPECT_FALSE(removed.count(name));
        if (renamedTo.count(name)) {
            ASSERT_TRUE(before.machines.count(renamedTo[name]));
            pugi::xml_node old = before.machines.at(renamedTo[name]);
            std::string expected = print(old);
            std::string oldName = "name=\"" + renamedTo[name] + "\"";
            expected.replace(expected.find(oldName), oldName.size(), "name=\"" + name + "\"");
            EXPECT_EQ(print(machine), expected) << "a rename changes nothing but the name";
            continue;
        }
        ASSERT_TRUE(before.machines.count(name)) << "new and unannounced";
        pugi::xml_node old = before.machines.at(name);
        if (moved.count(name)) {
            EXPECT_EQ(old.attribute("cloneof").value(), moved[name].from);
            EXPECT_EQ(machine.attribute("cloneof").value(), moved[name].to);
            EXPECT_EQ(machine.attribute("romof").value(), moved[name].to);
            EXPECT_FALSE(changed.count(name)) << "one change each";
            continue;
        }
        EXPECT_EQ(lines(old, true) != lines(machine, true), changed.count(name) == 1);
        EXPECT_EQ(lines(old, false), lines(machine, false)) << "changed outside its roms";
    }
}

}  // namespace
}  // namespace zfe::datgen
