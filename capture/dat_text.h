#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zfe::capture {

// Whether output that begins with `start` is a dat: after an optional UTF-8
// byte-order mark and blanks (spaces, tabs, line ends), a listinfo block
// ("game (", "machine (", "resource (", "clrmamepro (", blanks allowed
// before the parenthesis) or XML ("<?xml", "<!DOCTYPE", "<mame", "<datafile",
// each a whole word). Anything else, such as a program's usage text, a
// version line or nothing at all, is not.
bool isDatText(std::string_view start);

// The first line of output that holds more than blanks, as a message shows it:
// at most `width` bytes, a tab as a blank and any other control character as
// "?"; empty when there is none.
std::string firstPrintedLine(std::string_view start, std::size_t width);

}  // namespace zfe::capture
