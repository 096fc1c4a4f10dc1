// The small pieces: GUIDs, the per-thread error code, MD5 digests.
#include "support/Guid.h"
#include "support/LastError.h"
#include "support/Md5.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

TEST(GuidTest, UniqueVersionFourUpperCaseHexWithEveryOtherDigitRandom)
{
    std::set<std::u16string> seen;
    std::set<char16_t> digits[32];
    for (int i = 0; i < 2000; ++i) {
        const std::u16string guid = NewGuidText();
        ASSERT_EQ(guid.size(), 32u);
        ASSERT_TRUE(seen.insert(guid).second);
        for (size_t p = 0; p < 32; ++p)
            digits[p].insert(guid[p]);
    }
    for (size_t p = 0; p < 32; ++p)
        EXPECT_EQ(std::u16string(digits[p].begin(), digits[p].end()),
                  p == 12 ? u"4" : p == 16 ? u"89AB" : u"0123456789ABCDEF") << "position " << p;
}

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

TEST(Md5Test, DigestsOfBytesAndOfTextAsUtf8)
{
    const Md5Provider md5;
    std::u16string digest = u"untouched";
    EXPECT_FALSE(md5.HashText(u"", digest));
    EXPECT_EQ(digest, u"untouched");
    ASSERT_TRUE(md5.HashText(std::u16string(u"学\0b", 3), digest));
    EXPECT_EQ(digest, md5.HashBytes("\xE5\xAD\xA6\0b", 5));
    EXPECT_EQ(md5.HashBytes("message digest", 14), u"F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5.HashBytes(nullptr, 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.HashBytes(nullptr, 5), u"");
    const std::vector<char> million(1000000, 'a');
    EXPECT_EQ(md5.HashBytes(million.data(), million.size()), u"7707D6AE4E027C70EEA2A935C2296F21");
}
