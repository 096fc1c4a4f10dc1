#include "support/LastError.h"

#include <gtest/gtest.h>

#include <thread>

TEST(LastErrorTest, EachThreadKeepsItsOwnFullCode)
{
    SetLastErrorCode(0xFFFFFFFFu);
    uint32_t inWorker[2] = {1, 0};
    std::thread([&] {
        inWorker[0] = GetLastErrorCode();
        SetLastErrorCode(0x20001F3D);
        inWorker[1] = GetLastErrorCode();
    }).join();
    EXPECT_EQ(inWorker[0], 0u);
    EXPECT_EQ(inWorker[1], 0x20001F3Du);
    EXPECT_EQ(GetLastErrorCode(), 0xFFFFFFFFu);
    SetLastErrorCode(0);
}
