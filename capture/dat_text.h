#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zfe::capture {

// Whether output that begins with `start` is a dat: after an optional UTF-8
// byte-order mark and blanks (spaces, tabs, line ends), a listinfo block
// ("game (", "machine (", "resource (", "clrmamepro (", blanks allowed
// before the parenthesis) or XML whose root element is <mame> or <datafile>
// (each a whole word), after any XML declaration, comments, processing
// instructions and document type declaration. XML whose prolog runs past
// `start` counts as a dat too (judgeDat then finds it cut). Anything else,
// such as a program's usage text, a version line or nothing at all, is not.
bool isDatText(std::string_view start);

enum class DatJudgement {
    NotADat,     // see isDatText
    EndedEarly,  // a dat that stops before its end: cut
    Whole,
};

// Judges a whole output of `size` bytes from its first bytes (`start`) and its
// last bytes (`end`; the whole output when end.size() == size). An XML dat is
// whole when its root element is closed and only blanks, comments and
// processing instructions follow; a listinfo dat when the last block that
// opens at the start of a line within `end` is closed, quoted strings and
// their escapes taken into account, and only blanks and further closed
// blocks follow. A listinfo block longer than `end` counts as cut.
DatJudgement judgeDat(std::string_view start, std::string_view end, std::int64_t size);

// The first line of output that holds more than blanks, as a message shows it:
// at most `width` bytes, a tab as a blank and any other control character as
// "?"; empty when there is none.
std::string firstPrintedLine(std::string_view start, std::size_t width);

// The same for the last line that holds more than blanks.
std::string lastPrintedLine(std::string_view end, std::size_t width);

}  // namespace zfe::capture
