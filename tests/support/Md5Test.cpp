#include "support/Md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Case {
    const char* input;
    const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Case kRfc1321[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

TEST(Md5Test, HashBytesPassesTheRfc1321Suite)
{
    const Md5Provider md5;
    for (const Case& c : kRfc1321) {
        const std::string input = c.input;
        EXPECT_EQ(md5.HashBytes(input.data(), input.size()), Ascii(c.digest)) << '"' << input << '"';
    }
}

TEST(Md5Test, HashTextPassesTheRfc1321SuiteForNonEmptyTexts)
{
    const Md5Provider md5;
    for (const Case& c : kRfc1321) {
        const std::string input = c.input;
        if (input.empty())
            continue;
        std::u16string digest;
        ASSERT_TRUE(md5.HashText(Ascii(input), digest)) << input;
        EXPECT_EQ(digest, Ascii(c.digest)) << '"' << input << '"';
    }
}

TEST(Md5Test, AMillionLettersAcrossManyBlocks)
{
    const std::vector<char> bytes(1000000, 'a');
    EXPECT_EQ(Md5Provider().HashBytes(bytes.data(), bytes.size()), u"7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(Md5Test, EmptyTextGivesFalseAndLeavesTheOutputAlone)
{
    std::u16string digest = u"untouched";
    EXPECT_FALSE(Md5Provider().HashText(u"", digest));
    EXPECT_EQ(digest, u"untouched");
}

TEST(Md5Test, ChineseTextIsHashedOverItsUtf8Bytes)
{
    std::u16string digest;
    ASSERT_TRUE(Md5Provider().HashText(u"学习单元", digest));
    EXPECT_EQ(digest, u"E0DA15236BF0D6E77FA31BFCE0E97C76");
    // Not the digest of the UTF-16 units.
    EXPECT_NE(digest, u"E930CF47A594A8A0CD93FB7E1AEE24BF");

    ASSERT_TRUE(Md5Provider().HashText(u"中文文献 ABC", digest));
    EXPECT_EQ(digest, u"3E3BB9142540EA13C7B7194A0D278EF7");
}

TEST(Md5Test, DigestIsUpperCaseHexOfFixedLength)
{
    const std::string bytes("\x00\xff\x10 binary", 10);
    const std::u16string digest = Md5Provider().HashBytes(bytes.data(), bytes.size());
    ASSERT_EQ(digest.size(), 32u);
    for (char16_t c : digest)
        EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << static_cast<int>(c);
}

TEST(Md5Test, NullBytes)
{
    EXPECT_EQ(Md5Provider().HashBytes(nullptr, 0), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Provider().HashBytes(nullptr, 5), u"");
}

TEST(Md5Test, EmbeddedZeroBytesCount)
{
    const Md5Provider md5;
    const char withZero[] = {'a', '\0', 'b'};
    EXPECT_NE(md5.HashBytes(withZero, 3), md5.HashBytes("a", 1));
    std::u16string text(u"a\0b", 3), digest;
    ASSERT_TRUE(md5.HashText(text, digest));
    EXPECT_EQ(digest, md5.HashBytes(withZero, 3));
}

} // namespace
