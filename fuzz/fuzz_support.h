#pragma once

// What both fuzz targets do with an input that reads as a dat: every set type,
// the diff against itself and against a fixed dat, and both forms of the diff
// dat, checking what must hold for any input.

#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/zandorel/dat_file.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/diff.h"
#include "tools/zandorel/report.h"

namespace zfe::zandorel::fuzzing {

inline void check(bool condition) {
    if (!condition) std::abort();
}

inline void exercise(const Dat& dat, const Dat& other) {
    for (const SetType type :
         {SetType::Split, SetType::Merged, SetType::NonMerged, SetType::FullNonMerged}) {
        const SetModel sets(dat, type);
        const DiffResult self = diffSets(sets, sets);
        check(self.empty() && self.unchanged == sets.size());

        const SetModel otherSets(other, type);
        for (const bool compact : {false, true}) {
            const DiffResult diff = diffSets(otherSets, sets);
            std::string written;
            const std::size_t games = writeDiffDat(otherSets, sets, diff, compact, written);
            std::string report;
            writeReport(otherSets, sets, diff, ReportContext{"fuzz", compact, games}, report);
            // The diff dat is made of the input's own blocks: it reads again and
            // holds the games it claims to.
            try {
                const Dat again = parseDat(written, "zandorel.dat");
                check(again.games.size() >= games);
            } catch (const DatError&) {
                std::abort();
            }
        }
    }
}

inline int runOne(const std::uint8_t* data, std::size_t size, DatFormat wanted,
                  std::string_view otherText) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (detectFormat(text) != wanted) return -1;  // not this target's format: not kept
    Dat dat;
    try {
        dat = parseDat(text, "fuzz.dat", DeviceRefs::Read);
    } catch (const DatError& error) {
        check(error.hasPosition());
        return 0;
    }
    const Dat other = parseDat(otherText, "other.dat", DeviceRefs::Read);
    try {
        exercise(dat, other);
    } catch (const DatError& error) {  // clones in a loop
        check(error.hasPosition());
    }
    return 0;
}

}  // namespace zfe::zandorel::fuzzing
