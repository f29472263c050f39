#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/zandorel/dat_file.h"

namespace zfe::zandorel::test {

inline Dat parse(std::string_view text, std::string path = "t.dat") {
    return parseDat(text, std::move(path), DeviceRefs::Read);
}

// Parsed, and then the file's bytes overwritten: the names and hashes that the
// sets are made of must not need them, as a large file's bytes are let go
// once they are read.
inline Dat parseAndWipeText(std::string_view text) {
    Dat dat = parse(text);
    std::fill_n(dat.storage.data(), dat.storage.size(), '#');
    return dat;
}

// The error that reading the text gives; fails the test when there is none.
inline DatError parseError(std::string_view text, std::string path = "bad.dat") {
    try {
        parseDat(text, path);
    } catch (const DatError& error) {
        return error;
    }
    ADD_FAILURE() << "no error for:\n" << text;
    return DatError(path, "none");
}

inline std::string crlf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

inline std::string xmlEscaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The same games as an XML dat, written from what the listinfo reader read.
inline std::string toXml(const Dat& dat) {
    std::string out =
        "<?xml version=\"1.0\"?>\n<datafile>\n\t<header><name>converted</name></header>\n";
    const auto attribute = [&](const char* name, Span value) {
        if (!value.empty())
            out += std::string(" ") + name + "=\"" + xmlEscaped(dat.view(value)) + "\"";
    };
    for (const Game& game : dat.games) {
        out += "\t<game";
        attribute("name", game.name);
        attribute("cloneof", game.cloneOf);
        attribute("romof", game.romOf);
        out += ">\n";
        for (const auto& [element, value] : {std::pair{"description", game.description},
                                             {"year", game.year},
                                             {"manufacturer", game.manufacturer}}) {
            out += std::string("\t\t<") + element + ">" + xmlEscaped(dat.view(value)) + "</" +
                   element + ">\n";
        }
        out += "\t\t<driver";
        attribute("status", game.driverStatus);
        out += "/>\n";
        for (std::uint32_t i = 0; i < game.entryCount; ++i) {
            const Entry& entry = dat.entries[game.firstEntry + i];
            out += entry.isDisk() ? "\t\t<disk" : "\t\t<rom";
            attribute("name", entry.name);
            if (entry.isMerged()) attribute("merge", entry.name);
            if (entry.hasSize()) out += " size=\"" + std::to_string(entry.size) + "\"";
            if (entry.hasCrc()) {
                char crc[9];
                std::snprintf(crc, sizeof crc, "%08x", entry.crc);
                out += std::string(" crc=\"") + crc + "\"";
            }
            attribute(entry.hasMd5() ? "md5" : "sha1", entry.hash);
            if (entry.isNoDump()) out += " status=\"nodump\"";
            out += "/>\n";
        }
        out += "\t</game>\n";
    }
    return out + "</datafile>\n";
}

}  // namespace zfe::zandorel::test
