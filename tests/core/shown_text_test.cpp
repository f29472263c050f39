#include "core/shown_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zfe::core {
namespace {

// Nothing from a file can start a line of its own or turn text around in a
// window; everything else shows as it is.
TEST(ShownText, EscapesWhatWouldBreakALineOrTurnTextAround) {
    const std::pair<std::string, std::string> rows[] = {
        {"pacman (1.0) [\\x]", "pacman (1.0) [\\x]"},
        {"Così è – 日本 עברית", "Così è – 日本 עברית"},
        {"evil\u202Etxt.exe", "evil\\u202etxt.exe"},
        {"a\u2028b\u2029c\u2066d\u200Fe", "a\\u2028b\\u2029c\\u2066d\\u200fe"},
        {"bell\a esc\x1b[2J del\x7f nel\u0085 tab\t", "bell\\x07 esc\\x1b[2J del\\x7f nel\\u0085 tab\\t"},
        {"bad\xff\xc0\xaf\xed\xa0\x80 cut\xe2\x80", "bad\\xff\\xc0\\xaf\\xed\\xa0\\x80 cut\\xe2\\x80"},
    };
    for (const auto& [text, shown] : rows) {
        EXPECT_EQ(shownText(text), shown) << text;
        EXPECT_EQ(shownName(text), "\u2068" + shown + "\u2069") << text;
    }
    EXPECT_EQ(shownText("one\ntwo\r\n\tthree\r"), "one\\ntwo\\r\\n\\tthree\\r");
    EXPECT_EQ(shownText("one\ntwo\r\n\tthree\r", true), "one\ntwo\r\n\tthree\\r");
}

}  // namespace
}  // namespace zfe::core
