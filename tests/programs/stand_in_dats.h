#pragma once

// The dats that the stand-in emulator prints, shared with the tests that
// expect them back byte for byte.

#include <string>

namespace zfe::testsupport {

inline std::string escapedForXml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

// `description` names the program as it was started and its argument count.
inline std::string standInDescription(const std::string& program, int arguments) {
    return program + " with " + std::to_string(arguments) + " argument(s)";
}

inline std::string standInListInfo(const std::string& description) {
    return "game (\r\n\tname stand_in\r\n\tdescription \"" + description + "\"\r\n)\r\n";
}

inline std::string standInListXml(const std::string& description) {
    return "<?xml version=\"1.0\"?>\n<mame build=\"0.251 (stand-in)\" debug=\"no\" mameconfig=\"10\">\n"
           "\t<machine name=\"stand_in\">\n\t\t<description>" +
           escapedForXml(description) +
           "</description>\n\t\t<rom name=\"a.bin\" size=\"16\" crc=\"0badf00d\"/>\n\t</machine>\n</mame>\n";
}

}  // namespace zfe::testsupport
