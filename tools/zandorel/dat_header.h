#pragma once

// The diff dat's header: NEW's own, byte for byte, but for the fields that name
// the dat. There the diff dat says what it is (both dats and the set type), so
// that a ROM manager never takes it for NEW itself.

#include <string>
#include <string_view>

#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {

struct DiffDatHeader {
    std::string header;           // NEW's header, its fields naming the diff dat
    std::string beforeFirstGame;  // what names it where NEW's header cannot
};

// `header` is NEW's text before its first game, whose block starts with
// `firstBlock`. A listinfo header block (clrmamepro) and an XML <header> get
// their name and description (added where missing) and their forcemerging
// (where they have one) for the set type. Where NEW has neither, a listinfo
// diff dat gets a header block of its own and an XML one (MAME's -listxml) a
// comment, before its first game.
DiffDatHeader diffDatHeader(std::string_view header, std::string_view firstBlock,
                            const Dat& oldDat, const Dat& newDat, SetType type, bool compact);

}  // namespace zfe::zandorel
