#pragma once

#include <string>

#include "diff/diff_report.h"

namespace zfe::diff {

// Every category's sets as CSV for a spreadsheet, in the report's order: one
// header row (Categoria, Set, Nuovo nome, Descrizione, Anno, Produttore, Stato
// prima, Stato dopo, Dettagli), then a row a set. RFC 4180: CRLF line ends, a
// field holding a comma, a quote, CR or LF quoted, its quotes doubled. UTF-8
// with a byte-order mark, without which spreadsheets on Windows misread
// accents.
//
// Fields are shown as the window shows them (core::shownText, line breaks
// kept): a bidirectional control or a byte that is not UTF-8 is escaped, so
// that a crafted name can neither turn a cell around nor make the file
// something other than UTF-8. A field that a spreadsheet would run as a
// formula (one starting with '=', '+', '-', '@', a tab or CR) gets a leading
// apostrophe, which spreadsheets take as "text"; the report keeps the exact
// value.
std::string reportCsv(const DiffReport& report);

}  // namespace zfe::diff
