#pragma once

// The report zandorel.log: plain text, one item a line, for people and grep.

#include <string>

#include "tools/zandorel/diff.h"

namespace zfe::zandorel {

struct ReportContext {
    std::string version;
    bool compact = false;
    std::size_t gamesWritten = 0;
    std::string diffDatName = "zandorel.dat";
};

void writeReport(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                 const ReportContext& context, std::string& out);
// The report in two parts, so that all but its last line can be written while
// the diff dat is, which that line counts the games of. The summary line, which
// the tool prints too, ends with what the diff dat holds, or says that none was
// written: a dat with no game is refused by its own format's DTD.
void writeReportBody(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                     const ReportContext& context, std::string& out);
std::string summaryLine(const DiffResult& diff, const ReportContext& context);
inline constexpr const char* kNoDiffDatWritten = "no diff dat written, as it would hold no game";

// One line for an entry: "rom name (size 4096, crc 0a1b2c3d)".
std::string describeEntry(const Dat& dat, const Entry& entry);

}  // namespace zfe::zandorel
