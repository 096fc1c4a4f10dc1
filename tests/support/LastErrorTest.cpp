#include "support/LastError.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(LastErrorTest, KeepsTheLastCodeSet)
{
    SetLastErrorCode(0x20001F3D);
    EXPECT_EQ(GetLastErrorCode(), 0x20001F3Du);
    SetLastErrorCode(0x20001F46);
    EXPECT_EQ(GetLastErrorCode(), 0x20001F46u);
    SetLastErrorCode(0);
    EXPECT_EQ(GetLastErrorCode(), 0u);
}

TEST(LastErrorTest, HoldsTheFullThirtyTwoBits)
{
    SetLastErrorCode(0xFFFFFFFFu);
    EXPECT_EQ(GetLastErrorCode(), 0xFFFFFFFFu);
    SetLastErrorCode(0);
}

TEST(LastErrorTest, EachThreadHasItsOwnCode)
{
    SetLastErrorCode(0x20001F49);
    uint32_t seenByWorkerAtStart = 1;
    uint32_t seenByWorkerAfterSet = 0;
    std::thread worker([&] {
        seenByWorkerAtStart = GetLastErrorCode();
        SetLastErrorCode(0x20001F3D);
        seenByWorkerAfterSet = GetLastErrorCode();
    });
    worker.join();
    EXPECT_EQ(seenByWorkerAtStart, 0u);
    EXPECT_EQ(seenByWorkerAfterSet, 0x20001F3Du);
    EXPECT_EQ(GetLastErrorCode(), 0x20001F49u);
    SetLastErrorCode(0);
}

} // namespace
