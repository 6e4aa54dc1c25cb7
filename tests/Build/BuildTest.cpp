#include <gtest/gtest.h>

#include <cstdint>

// The framework relies on these sizes wherever it stores 32-bit values and
// UTF-16 text.
TEST(Build, FundamentalSizes)
{
    static_assert(sizeof(char16_t) == 2);
    static_assert(sizeof(uint32_t) == 4);
    static_assert(sizeof(uintptr_t) == sizeof(void*));
    EXPECT_EQ(sizeof(char16_t), 2u);
}
