#pragma once

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

// Fills `dat` from the listinfo text in dat.text: the blocks `game`, `resource`
// and `machine` become games; a header (`clrmamepro`) and any other top-level
// block are skipped but stay in the text. Throws DatError at the first place
// where the text stops making sense.
void parseListinfo(Dat& dat);

}  // namespace zfe::zandorel
