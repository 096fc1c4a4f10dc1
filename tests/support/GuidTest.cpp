#include "support/Guid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(GuidTest, UniqueVersionFourUpperCaseHexWithEveryDigitVarying)
{
    std::set<std::u16string> seen;
    std::set<char16_t> digits[32];
    for (int i = 0; i < 2000; ++i) {
        const std::u16string guid = NewGuidText();
        ASSERT_EQ(guid.size(), 32u);
        ASSERT_TRUE(seen.insert(guid).second);
        for (size_t p = 0; p < 32; ++p) {
            ASSERT_TRUE((guid[p] >= u'0' && guid[p] <= u'9') || (guid[p] >= u'A' && guid[p] <= u'F'));
            digits[p].insert(guid[p]);
        }
    }
    // The version digit is fixed, the variant digit takes four values, every other digit is random.
    for (size_t p = 0; p < 32; ++p)
        EXPECT_EQ(digits[p].size(), p == 12 ? 1u : p == 16 ? 4u : 16u) << "position " << p;
    EXPECT_EQ(*digits[12].begin(), u'4');
    EXPECT_EQ(*digits[16].begin(), u'8');
}
