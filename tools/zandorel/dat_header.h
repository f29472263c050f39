#pragma once

// The diff dat's header: NEW's own, byte for byte, but for the fields that name
// the dat. There the diff dat says what it is (both dats and the set type), so
// that a ROM manager never takes it for NEW itself.

#include <string>
#include <string_view>

#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {

// `header` is NEW's text before its first game, whose block starts with
// `firstBlock`. A listinfo header block (clrmamepro) and an XML <header> get
// their name and description (added where missing) and their forcemerging
// (where they have one) for the set type; a listinfo dat without a header block
// gets one; any other XML dat (MAME's -listxml) gets a comment before its first
// game.
std::string diffDatHeader(std::string_view header, std::string_view firstBlock,
                          const Dat& oldDat, const Dat& newDat, SetType type, bool compact);

}  // namespace zfe::zandorel
