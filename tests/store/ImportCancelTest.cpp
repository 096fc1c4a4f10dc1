// A cancel at any message of the import ends Init as cancelled and leaves nothing of the
// import in the library.
#include "ImportTestEnv.h"

namespace importtest {
namespace {

testkit::UnitSpec SmallUnit()
{
    testkit::UnitSpec spec;
    spec.folders = {{.id = 1, .name = u"top"}, {.id = 2, .name = u"sub", .parentId = 1}};
    spec.literature = {{.pkid = 1, .doi = u"d1", .title = u"both", .filePath = u"a.pdf", .folderIds = {1, 2}},
                       {.pkid = 2, .doi = u"d2", .title = u"one", .filePath = u"b.pdf", .folderIds = {2}}};
    spec.notes = {{.id = 1, .posId = u"n1", .doi = u"d1"}, {.id = 2, .posId = u"n2", .typeId = 10, .doi = u"d2"}};
    spec.labels = {{u"L", u"n1"}};
    spec.companionFiles = {{"a.pdf", "A"}, {"b.pdf", "B"}, {"webpage/w.html", "W"}, {"Notes/n.txt", "N"}};
    return spec;
}

bool IsImportStart(const Line& line)
{
    return line.text.rfind(u"导入学习单元《", 0) == 0;
}

TEST_F(ImportTest, CancelAtEveryMessageOfTheImportLeavesNoEntry)
{
    const fs::path unit = Build(SmallUnit());
    int32_t messages = 0;
    {
        RecordingStore store;
        ASSERT_EQ(Run(store, unit), 0);
        messages = static_cast<int32_t>(ImportLines().size()) - 2; // up to the import's own last line
        ASSERT_EQ(ImportLines()[static_cast<size_t>(messages)].text, u"更新学习单元完成");
    }
    ASSERT_GE(messages, 10);
    for (int32_t k = 1; k <= messages + 1; ++k) {
        SCOPED_TRACE(k);
        fs::remove_all(UserFolder());
        g_cancelFlag.store(0);
        int32_t seen = 0;
        RecordingStore store;
        std::u16string cancelledAt;
        const int result = Run(store, unit, [&](const Line& line) {
            if (seen > 0 || IsImportStart(line))
                ++seen;
            if (seen == k) {
                cancelledAt = line.text;
                g_cancelFlag.store(1);
            }
        });
        EXPECT_EQ(result, 0);
        if (k == messages + 1) {
            // Set with the import's completion line: too late, the entry is complete.
            ASSERT_EQ(Entries().size(), 1u);
            EXPECT_TRUE(Entries()[0].Complete);
            continue;
        }
        EXPECT_EQ(m_lines.back().text, u"导入学习单元取消") << testkit::U8(cancelledAt);
        EXPECT_EQ(Find(u"更新学习单元完成"), nullptr);
        EXPECT_TRUE(Entries().empty()) << testkit::U8(cancelledAt);
        EXPECT_FALSE(fs::exists(UserFolder() / "attachments") && !fs::is_empty(UserFolder() / "attachments"))
            << testkit::U8(cancelledAt);
        EXPECT_EQ(store.recorder.Count("CompleteLearningUnit"), 0u);
        // Once the entry exists, the cancel removes it through the service.
        EXPECT_EQ(store.recorder.Count("DeleteLearningUnit"), store.recorder.Count("CreateLearningUnit"));
    }
    std::printf("[ cancel   ] %d checkpoints covered\n", messages);
}

} // namespace
} // namespace importtest
