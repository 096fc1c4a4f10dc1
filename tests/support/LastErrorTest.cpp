#include "support/LastError.h"

#include <gtest/gtest.h>

#include <thread>

TEST(LastErrorTest, EachThreadKeepsItsOwnFullCode)
{
    SetLastErrorCode(0xFFFFFFFFu);
    EXPECT_EQ(GetLastErrorCode(), 0xFFFFFFFFu);
    SetLastErrorCode(0x20001F49);
    uint32_t atStart = 1;
    uint32_t afterSet = 0;
    std::thread([&] {
        atStart = GetLastErrorCode();
        SetLastErrorCode(0x20001F3D);
        afterSet = GetLastErrorCode();
    }).join();
    EXPECT_EQ(atStart, 0u);
    EXPECT_EQ(afterSet, 0x20001F3Du);
    EXPECT_EQ(GetLastErrorCode(), 0x20001F49u);
    SetLastErrorCode(0);
}
