#include "support/Md5.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Md5Test, DigestsOfBytesAndOfTextAsUtf8)
{
    const Md5Provider md5;
    std::u16string digest = u"untouched";
    EXPECT_FALSE(md5.HashText(u"", digest));
    EXPECT_EQ(digest, u"untouched");
    ASSERT_TRUE(md5.HashText(u"学习单元", digest));
    EXPECT_EQ(digest, u"E0DA15236BF0D6E77FA31BFCE0E97C76");
    ASSERT_TRUE(md5.HashText(std::u16string(u"a\0b", 3), digest));
    EXPECT_EQ(digest, u"70350F6027BCE3713F6B76473084309B");
    EXPECT_EQ(md5.HashBytes("message digest", 14), u"F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5.HashBytes(nullptr, 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.HashBytes(nullptr, 5), u"");
    const std::vector<char> million(1000000, 'a');
    EXPECT_EQ(md5.HashBytes(million.data(), million.size()), u"7707D6AE4E027C70EEA2A935C2296F21");
}
