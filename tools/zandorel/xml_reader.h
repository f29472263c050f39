#pragma once

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

// Fills `dat` from the XML in dat.text: MAME -listxml output (`<mame>`) or an
// XML dat (`<datafile>`), with `<game>` or `<machine>` elements. Throws DatError,
// also when the build has no XML support.
void parseXml(Dat& dat);

}  // namespace zfe::zandorel
