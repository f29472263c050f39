#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "tools/zandorel/diff.h"

namespace zfe::zandorel {

// Appends the diff dat to `out` in the new dat's format: the new dat's text
// before its first game (the header), every game needed to build the added,
// renamed and changed sets in the new dat's order, and the text after its last
// game. A game goes in as its bytes in the new dat; in the compact form its
// blocks lose the rom and disk lines whose data the old set of the same name
// already holds, renamed sets stay out, and so does a game left with no entry.
// Under split an added game brings the games its set is built on: its parents,
// and the BIOS set of a game that runs on one. Returns the number of games
// written.
std::size_t writeDiffDat(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                         bool compact, const std::function<void(std::string_view)>& out);
std::size_t writeDiffDat(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                         bool compact, std::string& out);

}  // namespace zfe::zandorel
