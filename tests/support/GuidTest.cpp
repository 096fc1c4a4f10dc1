#include "support/Guid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(GuidTest, ThirtyTwoUpperCaseHexDigits)
{
    const std::u16string guid = NewGuidText();
    ASSERT_EQ(guid.size(), 32u);
    for (char16_t c : guid)
        EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << static_cast<int>(c);
}

TEST(GuidTest, CarriesVersionFourAndTheStandardVariant)
{
    for (int i = 0; i < 200; ++i) {
        const std::u16string guid = NewGuidText();
        ASSERT_EQ(guid.size(), 32u);
        // Third field's first digit, then the first byte of the last eight.
        EXPECT_EQ(guid[12], u'4') << std::string(guid.begin(), guid.end());
        EXPECT_NE(std::u16string(u"89AB").find(guid[16]), std::u16string::npos) << std::string(guid.begin(), guid.end());
    }
}

TEST(GuidTest, NewGuidsDiffer)
{
    std::set<std::u16string> seen;
    for (int i = 0; i < 10000; ++i)
        EXPECT_TRUE(seen.insert(NewGuidText()).second);
}

TEST(GuidTest, EveryDigitPositionVaries)
{
    // A fixed or truncated field would leave a position constant across many GUIDs.
    std::set<char16_t> values[32];
    for (int i = 0; i < 500; ++i) {
        const std::u16string guid = NewGuidText();
        for (size_t p = 0; p < 32; ++p)
            values[p].insert(guid[p]);
    }
    for (size_t p = 0; p < 32; ++p) {
        if (p == 12)
            EXPECT_EQ(values[p].size(), 1u);
        else if (p == 16)
            EXPECT_EQ(values[p].size(), 4u);
        else
            EXPECT_GT(values[p].size(), 8u) << "position " << p;
    }
}

} // namespace
