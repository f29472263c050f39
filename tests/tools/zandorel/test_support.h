#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace zfe::zandorel::test
