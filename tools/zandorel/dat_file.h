#pragma once

// A dat read from its file or from bytes in memory: the format taken from the
// content, and the reader of that format run over it.

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

// Whether the games' device_refs are read: only full non-merged sets need them.
enum class DeviceRefs { Skip, Read };

// Reads a dat from its bytes. `path` only names the dat in messages. Throws DatError.
Dat parseDat(Bytes bytes, std::string path, DeviceRefs devices = DeviceRefs::Skip);
Dat parseDat(std::string_view text, std::string path, DeviceRefs devices = DeviceRefs::Skip);

// How far ahead of the reader a large file is read, and how far behind it its
// bytes are kept.
inline constexpr std::size_t kReadAhead = std::size_t{8} << 20;

// Reads the file, opened once, and parses it. A file larger than twice
// `readAhead` is read as the reader goes, `readAhead` bytes ahead of it, and
// let go behind it, so that a dat of hundreds of megabytes is never all in
// memory. A pipe or a device is read to its end, up to and with its first NUL
// byte (no dat reads past one), and at most 2 GB, as a file. A folder, a file
// that cannot be read and a file that changes while it is read are errors
// naming the path; a file that changed is reported as such, never as
// malformed. Throws DatError.
Dat readDatFile(const std::string& path, std::size_t readAhead = kReadAhead,
                DeviceRefs devices = DeviceRefs::Skip);

// Throws DatError when the file that the dat was read from is no longer what
// was read: another size or time, or shorter than it was.
void requireUnchanged(const Dat& dat);

}  // namespace zfe::zandorel
