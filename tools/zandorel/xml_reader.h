#pragma once

#include <vector>

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

// Fills `dat` from the XML in dat.text: MAME -listxml output (`<mame>`) or an
// XML dat (`<datafile>`), with `<game>` or `<machine>` elements. Throws DatError,
// also when the build has no XML support.
void parseXml(Dat& dat);

// How the reader judges the tags that it steps over: with what every processor
// of the build's kind has, or 32 bytes at a time where the processor has AVX2.
// parseXml takes the fastest; each must give the same verdicts.
enum class TagScan { Baseline, Avx2 };

// The ways this processor can run, the slowest first.
std::vector<TagScan> tagScansHere();

void parseXml(Dat& dat, TagScan scan);

}  // namespace zfe::zandorel
