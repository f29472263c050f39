// The XML reader finds the game blocks with a scanner of its own and has the
// library parse each block and the rest apart, or reads a block from what a
// walker of its own records of it, where the walker vouches for the whole
// block as the library would. Here the library reads
// the same input whole, the way a reader with no scanner would: both must accept
// the same inputs and find the same games, entries, strings and byte ranges.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "tools/zandorel/dat.h"
#include "tools/zandorel/xml_reader.h"

namespace {

using zfe::zandorel::Dat;
using zfe::zandorel::DatError;
using zfe::zandorel::Entry;
using zfe::zandorel::Game;

[[noreturn]] void disagree(const std::string& what) {
    std::fprintf(stderr, "the scanner and the whole-document reading disagree: %s\n", what.c_str());
    std::abort();
}

void expectSame(std::string_view ours, const char* library, const std::string& what) {
    if (ours != std::string_view(library)) {
        disagree(what + ": \"" + std::string(ours) + "\" against \"" + library + "\"");
    }
}

// [begin, end), blanks and a line end around it aside, must be the element
// `node` exactly: the library reads it alone as that one element, and not
// without its last byte. The options judge as the whole document's do and keep
// comments; a processing instruction, which they drop, never ends in an
// element's "/>" or end tag.
void expectElement(std::string_view text, std::size_t begin, std::size_t end,
                   const pugi::xml_node& node, const std::string& what) {
    std::string_view range = text.substr(begin, end - begin);
    range.remove_prefix(std::min(range.find_first_not_of(" \t"), range.size()));
    range.remove_suffix(range.size() -
                        std::min(range.find_last_not_of(" \t\r\n") + 1, range.size()));
    if (range.empty() || static_cast<std::size_t>(range.data() - text.data()) !=
                             static_cast<std::size_t>(node.offset_debug()) - 1) {
        disagree(what + " starts elsewhere");
    }
    pugi::xml_document alone;
    constexpr unsigned kOptions = pugi::parse_default | pugi::parse_comments;
    const bool whole = alone.load_buffer(range.data(), range.size(), kOptions, pugi::encoding_utf8);
    const pugi::xml_node element = alone.first_child();
    if (!whole || element.type() != pugi::node_element || element.next_sibling() ||
        range.ends_with("?>") || std::string_view(element.name()) != node.name()) {
        disagree(what + " is not one whole element: \"" + std::string(range) + "\"");
    }
    if (alone.load_buffer(range.data(), range.size() - 1, kOptions, pugi::encoding_utf8)) {
        disagree(what + " runs past the element: \"" + std::string(range) + "\"");
    }
}

bool isNamed(const pugi::xml_node& node) {
    return *node.attribute("name").value() != '\0';
}

// The games as the whole document gives them; false where the reader must refuse.
bool readWhole(std::string_view text, std::vector<pugi::xml_node>& games,
               pugi::xml_document& document) {
    if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) {
        return false;
    }
    const pugi::xml_node root = document.document_element();
    const std::string_view rootName = root.name();
    if (rootName != "mame" && rootName != "datafile") return false;
    // After the root only blanks, comments and processing instructions: read as
    // a fragment, anything else there is a node of its own.
    pugi::xml_document fragment;
    fragment.load_buffer(text.data(), text.size(),
                         pugi::parse_default | pugi::parse_doctype | pugi::parse_fragment,
                         pugi::encoding_utf8);
    bool afterRoot = false;
    for (const pugi::xml_node node : fragment.children()) {
        if (afterRoot) return false;
        afterRoot = node.type() == pugi::node_element;
    }
    for (const pugi::xml_node node : root.children()) {
        const std::string_view name = node.name();
        if (node.type() != pugi::node_element || (name != "game" && name != "machine")) continue;
        if (!isNamed(node)) return false;
        for (const pugi::xml_node child : node.children()) {
            const std::string_view kind = child.name();
            if (child.type() == pugi::node_element && (kind == "rom" || kind == "disk") &&
                !isNamed(child)) {
                return false;
            }
        }
        games.push_back(node);
    }
    return true;
}

void compareEntry(const Dat& dat, const Entry& entry, const pugi::xml_node& node,
                  const std::string& where) {
    expectSame(dat.view(entry.name), node.attribute("name").value(), where + " name");
    if (entry.isMerged() != (*node.attribute("merge").value() != '\0')) disagree(where + " merge");
    const char* sha1 = node.attribute("sha1").value();
    expectSame(dat.view(entry.hash), *sha1 != '\0' ? sha1 : node.attribute("md5").value(),
               where + " hash");
    if (entry.hasMd5() && *sha1 != '\0') disagree(where + " hash kind");
    if (entry.isDisk() != (std::string_view(node.name()) == "disk")) disagree(where + " kind");
    expectElement(dat.text, entry.cutBegin, entry.cutEnd, node, where);
}

void compareScan(std::string_view text, bool wholeOk, const std::vector<pugi::xml_node>& games) {
    Dat dat;
    dat.path = "fuzz.xml";
    dat.readDevices = true;
    dat.storage = zfe::zandorel::Bytes(text);
    dat.text = dat.storage.view();
    bool scannedOk = true;
    std::string failure;
    try {
        zfe::zandorel::parseXml(dat);
    } catch (const DatError& error) {
        scannedOk = false;
        failure = error.what();
    }
    if (wholeOk != scannedOk) {
        disagree(wholeOk ? "only the whole document reads: " + failure : "only the scanner reads");
    }
    if (!wholeOk) return;

    if (dat.games.size() != games.size()) disagree("the number of games");
    for (std::size_t g = 0; g < games.size(); ++g) {
        const Game& game = dat.games[g];
        const pugi::xml_node node = games[g];
        const std::string where = "game " + std::to_string(g);
        expectSame(dat.view(game.name), node.attribute("name").value(), where + " name");
        expectSame(dat.view(game.cloneOf), node.attribute("cloneof").value(), where + " cloneof");
        expectSame(dat.view(game.romOf), node.attribute("romof").value(), where + " romof");
        expectElement(dat.text, game.blockBegin, game.blockEnd, node, where);
        std::uint32_t e = game.firstEntry;
        for (const pugi::xml_node child : node.children()) {
            const std::string_view kind = child.name();
            if (child.type() != pugi::node_element || (kind != "rom" && kind != "disk")) continue;
            if (e == game.firstEntry + game.entryCount) disagree(where + ": too few entries");
            compareEntry(dat, dat.entries[e], child, where + " entry " + std::to_string(e));
            ++e;
        }
        if (e != game.firstEntry + game.entryCount) disagree(where + ": too many entries");
        std::uint32_t r = game.firstDeviceRef;
        for (const pugi::xml_node child : node.children("device_ref")) {
            if (child.type() != pugi::node_element || !isNamed(child)) continue;
            if (r == game.firstDeviceRef + game.deviceRefCount) disagree(where + ": too few devices");
            const std::string_view ours = dat.view(dat.deviceNames[dat.deviceRefs[r++]]);
            // Names alike but for letter case are one device.
            if (!zfe::zandorel::equalsFolded(ours, child.attribute("name").value())) {
                expectSame(ours, child.attribute("name").value(), where + " device");
            }
        }
        if (r != game.firstDeviceRef + game.deviceRefCount) disagree(where + ": too many devices");
        if (const pugi::xml_node first = node.child("device_ref")) {
            const auto at = static_cast<std::size_t>(first.offset_debug()) - 1;
            if (game.deviceRefsAt > at ||
                text.substr(game.deviceRefsAt, at - game.deviceRefsAt).find_first_not_of(" \t") !=
                    std::string_view::npos) {
                disagree(where + ": where its devices start");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (zfe::zandorel::detectFormat(text) != zfe::zandorel::DatFormat::Xml) return -1;

    pugi::xml_document document;
    std::vector<pugi::xml_node> games;
    const bool wholeOk = readWhole(text, games, document);
    compareScan(text, wholeOk, games);
    return 0;
}
