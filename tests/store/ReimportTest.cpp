// A unit imported again: earlier incomplete entries of the unit go, complete ones stay with a
// notice unless --replace removes them, and never before the new import has completed.
#include "store/ImportFixture.h"

namespace storetest {
namespace {

using ReimportTest = ImportFixture;

enum class EBefore {
    Complete,        // an earlier import of the unit that completed
    Incomplete,      // what a failed or killed import of the unit leaves
    OtherIncomplete, // an incomplete entry of another unit
};

struct SCase {
    const char* name;
    std::vector<EBefore> before;
    bool replace = false;
    bool cancel = false; // the import under test is cancelled
    // Earlier entries still there afterwards (their indices in `before`), then whether a new entry was made.
    std::vector<size_t> kept;
    bool made = true;
    // The notices, in order: the start of each, with "#n" for the first 8 digits of before[n].
    std::vector<std::u16string> notices;
};

TEST_F(ReimportTest, EarlierEntriesOfTheUnitAreSettledOnlyOnceTheNewImportCompleted)
{
    const SCase cases[] = {
        {"complete + complete", {EBefore::Complete}, false, false, {0}, true, {u"该学习单元此前已导入：#0（"}},
        {"incomplete + complete", {EBefore::Incomplete}, false, false, {}, true, {u"已删除此前未完成的导入 #0（"}},
        {"--replace after a failed import", {EBefore::Complete, EBefore::Incomplete}, true, false, {}, true,
         {u"已替换此前的导入 #0（", u"已删除此前未完成的导入 #1（"}},
        {"--replace, cancelled", {EBefore::Complete, EBefore::Incomplete}, true, true, {0, 1}, false, {}},
        {"another unit's incomplete entry", {EBefore::OtherIncomplete, EBefore::Complete}, false, false, {0, 1}, true,
         {u"该学习单元此前已导入：#1（"}},
    };
    const testkit::UnitSpec spec = testkit::SampleSpec(16);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(UserFolder());
        const fs::path unit = Build(spec);
        m_tavId.clear();
        std::vector<std::u16string> earlier;
        for (EBefore kind : c.before) {
            if (kind == EBefore::Complete) {
                m_replace = false;
                ASSERT_EQ(0, Run(unit));
                earlier.push_back(Entries().back().TavGuid);
                continue;
            }
            IOvDataMiddle::Initialize(-1);
            auto info = std::make_shared<STavInfo>();
            std::tie(info->Name, info->SourceTavId) =
                std::make_tuple(u"unit", kind == EBefore::Incomplete ? spec.tavId : u"ANOTHERUNIT");
            ASSERT_EQ(0, IOvDataMiddle::Instance().CreateLearningUnit(info, u"alice", 0, 0));
            std::u16string stored;
            IOvDataMiddle::Instance().StoreAttachment(stored, U16(unit.string()), u"alice", info->TavGuid);
            IOvDataMiddle::Uninitialize();
            earlier.push_back(info->TavGuid);
        }
        m_replace = c.replace;
        const auto cancelAtFolders = [&](const Line& line) {
            if (c.cancel && line.text.rfind(u"导入文献夹", 0) == 0)
                g_cancelFlag.store(1);
        };
        ASSERT_EQ(0, Run(unit, u"owner1", cancelAtFolders));
        g_cancelFlag.store(0);

        std::vector<std::u16string> expected;
        for (size_t index : c.kept)
            expected.push_back(earlier[index]);
        const auto entries = Entries();
        ASSERT_EQ(entries.size(), expected.size() + (c.made ? 1 : 0));
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(entries[i].TavGuid, expected[i]) << i;
        if (c.made) {
            EXPECT_TRUE(entries.back().Complete);
            EXPECT_EQ(entries.back().SourceTavId, spec.tavId);
            EXPECT_EQ(entries.back().SourceVersion, 16);
            EXPECT_EQ(U8(entries.back().SourcePath), unit.string());
            EXPECT_FALSE(entries.back().ImportStart.empty());
        }
        for (size_t i = 0; i < earlier.size(); ++i) {
            const bool kept = std::find(expected.begin(), expected.end(), earlier[i]) != expected.end();
            EXPECT_EQ(fs::exists(UserFolder() / "attachments" / U8(earlier[i])), kept) << i;
        }
        // The notices come after everything else, right before the final line.
        std::vector<std::u16string> said;
        for (const Line& line : m_lines) {
            if (line.text.find(u"此前") != std::u16string::npos)
                said.push_back(line.text);
        }
        ASSERT_EQ(said.size(), c.notices.size());
        for (size_t i = 0; i < said.size(); ++i) {
            std::u16string notice = c.notices[i];
            const size_t mark = notice.find(u'#');
            notice.replace(mark, 2, earlier[notice[mark + 1] - u'0'].substr(0, 8));
            EXPECT_EQ(said[i].rfind(notice, 0), 0u) << U8(said[i]);
            EXPECT_EQ(m_lines[m_lines.size() - 2 - said.size() + i].text, said[i]);
        }
        EXPECT_EQ(m_earlier.size(), c.made ? c.notices.size() : 0u);
    }
}

} // namespace
} // namespace storetest
