#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

namespace {

constexpr std::string_view kOther =
    "<?xml version=\"1.0\"?>\n<datafile>\n"
    "\t<game name=\"parent\"><rom name=\"a\" size=\"1\" crc=\"1\"/><rom name=\"b\" size=\"2\" "
    "crc=\"2\"/></game>\n"
    "\t<game name=\"clone\" cloneof=\"parent\"><rom name=\"a\" merge=\"a\" size=\"1\" crc=\"1\"/>"
    "<rom name=\"c\" size=\"3\" crc=\"3\"/></game>\n"
    "</datafile>\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return zfe::zandorel::fuzzing::runOne(data, size, zfe::zandorel::DatFormat::Xml, kOther);
}
