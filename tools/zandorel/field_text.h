#pragma once

// The one rule by which text from outside the tool (a dat's names and hashes,
// a path from the command line) goes into the report and into messages, so
// that nothing it holds can start a line of its own, show text reversed or send
// a terminal a command.
//
// A field stands as it is when it is not empty and holds only printable
// characters other than blanks, '"' and '\'. Otherwise it stands in double
// quotes, where '"' and '\' take a backslash; LF, CR and TAB are \n, \r and \t;
// any other ASCII control character, and each byte that is not part of valid
// UTF-8, is \xHH; the C1 controls, the line and paragraph separators (U+2028,
// U+2029) and the bidirectional controls (U+061C, U+200E, U+200F, U+202A to
// U+202E, U+2066 to U+2069) are \uHHHH. Other blanks (U+00A0, U+3000, ...)
// stand in the quotes as they are.

#include <string>
#include <string_view>

namespace zfe::zandorel {

void appendField(std::string& out, std::string_view text);
std::string fieldText(std::string_view text);

// A path as the user gave it, blanks, quotes and backslashes included, unless
// it holds a character that the rule escapes: then quoted as a field.
std::string pathText(std::string_view path);

// A message for standard error and the report: each character that the rule
// escapes is escaped, and nothing is quoted.
std::string messageText(std::string_view text);

// The length of the character at `at` when it is valid UTF-8 that the rule
// leaves as it is (a blank, a quote or a backslash included); 0 for a byte that
// starts no such character.
std::size_t plainCharacterLength(std::string_view text, std::size_t at);

}  // namespace zfe::zandorel
