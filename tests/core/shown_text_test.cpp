#include "core/shown_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zfe::core {
namespace {

// Nothing from a file can start a line of its own or turn text around in a
// window; everything else shows as it is.
TEST(ShownText, EscapesWhatWouldBreakALineOrTurnTextAround) {
    const std::string isolateStart = "\u2068";
    const std::string isolateEnd = "\u2069";
    struct Row {
        std::string text;
        std::string name;   // shownText without keeping lines
        std::string lines;  // keeping them
    };
    const Row rows[] = {
        {"pacman (1.0) [\\x]", "pacman (1.0) [\\x]", "pacman (1.0) [\\x]"},
        {"Così è – 日本 עברית", "Così è – 日本 עברית", "Così è – 日本 עברית"},
        {"evil\u202Etxt.exe", "evil\\u202etxt.exe", "evil\\u202etxt.exe"},
        {"a\u2028b\u2029c\u2066d\u200Fe", "a\\u2028b\\u2029c\\u2066d\\u200fe", "a\\u2028b\\u2029c\\u2066d\\u200fe"},
        {"one\ntwo\r\n\tthree", "one\\ntwo\\r\\n\\tthree", "one\ntwo\r\n\tthree"},
        {"bell\a esc\x1b[2J del\x7f nel\u0085 cr\r", "bell\\x07 esc\\x1b[2J del\\x7f nel\\u0085 cr\\r",
         "bell\\x07 esc\\x1b[2J del\\x7f nel\\u0085 cr\\r"},
        {"bad\xff\xc0\xaf\xed\xa0\x80 cut\xe2\x80", "bad\\xff\\xc0\\xaf\\xed\\xa0\\x80 cut\\xe2\\x80",
         "bad\\xff\\xc0\\xaf\\xed\\xa0\\x80 cut\\xe2\\x80"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(shownText(row.text), row.name) << row.text;
        EXPECT_EQ(shownText(row.text, true), row.lines) << row.text;
        EXPECT_EQ(shownName(row.text), isolateStart + row.name + isolateEnd) << row.text;
    }
}

}  // namespace
}  // namespace zfe::core
