#include "support/Guid.h"

#include <gtest/gtest.h>

#include <set>

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
