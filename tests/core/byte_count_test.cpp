#include "core/byte_count.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace zfe::core {
namespace {

TEST(ByteCount, GroupsOfThreeDigitsArePartedByADot) {
    EXPECT_EQ(withThousandsSeparators(0), "0");
    EXPECT_EQ(withThousandsSeparators(999), "999");
    EXPECT_EQ(withThousandsSeparators(1000), "1.000");
    EXPECT_EQ(withThousandsSeparators(256000), "256.000");
    EXPECT_EQ(withThousandsSeparators(1024000), "1.024.000");
    EXPECT_EQ(withThousandsSeparators(std::numeric_limits<std::int64_t>::max()),
              "9.223.372.036.854.775.807");
    EXPECT_EQ(byteCountText(269343500), "269.343.500 byte");
}

}  // namespace
}  // namespace zfe::core
