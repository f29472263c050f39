#pragma once

#include <string>
#include <string_view>

namespace zfe::core {

// Text from a file (a set's name, a report) as a window shows it, so that it
// can neither start a line of its own nor turn the text around it: control
// characters (C0, DEL, C1), the Unicode line and paragraph separators and the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066
// to U+2069) are written as escapes ("\n", "\x1b", "\u202e"), and so is a
// byte that is not UTF-8. Everything else is left as it is.

// The text with those escaped; with `keepLines`, line ends ("\n", "\r\n")
// and tabs stay as they are.
std::string shownText(std::string_view utf8, bool keepLines = false);

// One name among other text: shownText isolated (U+2068 ... U+2069), so that a
// right-to-left name keeps to itself, whatever surrounds it.
std::string shownName(std::string_view utf8);

}  // namespace zfe::core
