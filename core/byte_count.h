#pragma once

#include <cstdint>
#include <string>

namespace zfe::core {

// A count with a dot between each group of three digits, as Italian writes
// it: "269.343.500".
std::string withThousandsSeparators(std::int64_t count);

// A size as the messages give it: "269.343.500 byte".
std::string byteCountText(std::int64_t bytes);

}  // namespace zfe::core
