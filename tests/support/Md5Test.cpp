#include "support/Md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(Md5Test, KnownDigestsOfBytesAndOfTextAsUtf8)
{
    const struct {
        std::u16string text;
        const char* digest;
    } rows[] = {
        // The suite of RFC 1321, appendix A.5.
        {u"a", "0CC175B9C0F1B6A831C399E269772661"},
        {u"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {u"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {u"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {u"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        {u"学习单元", "E0DA15236BF0D6E77FA31BFCE0E97C76"},
        {u"中文文献 ABC", "3E3BB9142540EA13C7B7194A0D278EF7"},
        {std::u16string(u"a\0b", 3), "70350F6027BCE3713F6B76473084309B"},
    };
    const Md5Provider md5;
    for (const auto& row : rows) {
        std::u16string digest;
        ASSERT_TRUE(md5.HashText(row.text, digest));
        EXPECT_EQ(digest, Ascii(row.digest)) << row.digest;
    }
    EXPECT_EQ(md5.HashBytes("abc", 3), u"900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(md5.HashBytes("", 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.HashBytes(nullptr, 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.HashBytes(nullptr, 5), u"");
    const std::vector<char> million(1000000, 'a');
    EXPECT_EQ(md5.HashBytes(million.data(), million.size()), u"7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(Md5Test, EmptyTextGivesFalseAndLeavesTheOutputAlone)
{
    std::u16string digest = u"untouched";
    EXPECT_FALSE(Md5Provider().HashText(u"", digest));
    EXPECT_EQ(digest, u"untouched");
}

} // namespace
